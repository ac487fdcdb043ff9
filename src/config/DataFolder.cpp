#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tarsyn::config {

namespace {
const QString kOption = QStringLiteral("--data-dir");
}

DataFolder ResolveDataFolder(const QStringList& arguments, const QString& applicationDir,
                             const QString& userDataFolder) {
    QString chosen = applicationDir;
    bool given = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == kOption) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                return {QString(), QStringLiteral("--data-dir needs a folder")};
            chosen = arguments.at(++i);
            given = true;
        } else if (a.startsWith(kOption + QLatin1Char('='))) {
            chosen = a.mid(kOption.size() + 1);
            if (chosen.isEmpty()) return {QString(), QStringLiteral("--data-dir needs a folder")};
            given = true;
        }
    }
    // The executable's folder stays the data folder wherever it is today's (a build folder, a copy the
    // user unpacked, one that holds settings); only a shared program folder sends the data to the user's
    // own. Root can write to /usr/bin, so writability alone would put root's settings there: a folder
    // with the shared catalogues installed beside it is shared.
    bool perUser = false;
    if (!given) {
        const QFileInfo app(applicationDir);
        const bool ownFolder =
            app.isDir() && app.isWritable() && ShippedFolder(applicationDir) == applicationDir;
        if (app.exists() && !QFileInfo::exists(QDir(applicationDir).filePath(QStringLiteral("system.ini"))) &&
            !ownFolder) {
            chosen = userDataFolder;
            perUser = true;
        }
    }
    const QFileInfo info(chosen);
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    const QString shown = QDir::toNativeSeparators(path);
    const QString what = given ? QStringLiteral("Data folder") : QStringLiteral("Program folder");
    if (perUser && !info.exists())
        return {
            path,
            QStringLiteral("Data folder \"%1\" does not exist: make it with tarsyn --init-config").arg(shown),
            true};
    if (!info.exists()) return {path, QStringLiteral("%1 \"%2\" does not exist").arg(what, shown)};
    if (!info.isDir()) return {path, QStringLiteral("%1 \"%2\" is not a folder").arg(what, shown), perUser};
    if (!info.isReadable() || !info.isExecutable())
        return {path, QStringLiteral("%1 \"%2\" cannot be read").arg(what, shown), perUser};
    return {path, QString(), perUser};
}

DataFolder ResolveDataFolder(const QStringList& arguments) {
    return ResolveDataFolder(arguments, QCoreApplication::applicationDirPath(), UserDataFolder());
}

QString ShippedFolder(const QString& applicationDir) {
    const QString shared = QDir::cleanPath(applicationDir + QStringLiteral("/../share/tarsyn"));
    return QFileInfo(shared).isDir() ? shared : applicationDir;
}

QString UserDataFolder() {
    // The XDG rule: an unset, empty or relative XDG_DATA_HOME means ~/.local/share.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/tarsyn"));
}

QStringList CatalogueNames(const QString& dataDir) {
    // Only names ending exactly in ".lag": the catalogue is later opened as <language> + ".lag".
    const QFileInfoList files = QDir(dataDir).entryInfoList(
        {QStringLiteral("*.lag")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QFileInfo& f : files) {
        const QString name = f.fileName();
        if (!name.endsWith(QLatin1String(".lag"))) continue;
        const QString language = name.chopped(4);
        if (!language.isEmpty()) names << language;
    }
    return names;
}

}  // namespace tarsyn::config
