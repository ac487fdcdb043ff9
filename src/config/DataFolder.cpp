#include "config/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tarsyn::config {

namespace {
const QString kOption = QStringLiteral("--data-dir");
}

DataFolder ResolveDataFolder(const QStringList& arguments, const QString& applicationDir) {
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
    const QFileInfo info(chosen);
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    const QString shown = QDir::toNativeSeparators(path);
    const QString what = given ? QStringLiteral("Data folder") : QStringLiteral("Program folder");
    if (!info.exists()) return {path, QStringLiteral("%1 \"%2\" does not exist").arg(what, shown)};
    if (!info.isDir()) return {path, QStringLiteral("%1 \"%2\" is not a folder").arg(what, shown)};
    if (!info.isReadable() || !info.isExecutable())
        return {path, QStringLiteral("%1 \"%2\" cannot be read").arg(what, shown)};
    return {path, QString()};
}

DataFolder ResolveDataFolder(const QStringList& arguments) {
    return ResolveDataFolder(arguments, QCoreApplication::applicationDirPath());
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
