#include "config/InitConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/Config.h"
#include "config/DataFolder.h"
#include "config/SettingsLimits.h"

namespace tarsyn::config {

namespace {

const QString kIni = QStringLiteral("system.ini");
const QString kSet = QStringLiteral("Set");
constexpr int kRefreshSeconds = 6;

int roundHalfEven(int numerator, int denominator) {
    int q = numerator / denominator;
    const int r = numerator % denominator;
    if (2 * r > denominator || (2 * r == denominator && (q & 1))) ++q;
    return q;
}

InitConfigResult refused(const QString& message) { return {1, message}; }

// The catalogues and help files the program ships: names ending exactly in ".lag" or ".hlp".
QStringList ShippedFiles(const QString& dir) {
    QStringList names;
    for (const QString& language : CatalogueNames(dir)) names << language + QStringLiteral(".lag");
    const QStringList help = QDir(dir).entryList({QStringLiteral("*.hlp")}, QDir::Files, QDir::Name);
    for (const QString& name : help)
        if (name.endsWith(QLatin1String(".hlp"))) names << name;
    return names;
}

// A password from its option or, failing that, from the operator (typed twice).
bool obtainPassword(const std::optional<QString>& given, const QString& which, const PasswordReader& read,
                    QString& password, QString& error) {
    if (given) {
        password = *given;
        return true;
    }
    QString again;
    if (!read || !read(QStringLiteral("%1 password: ").arg(which), password) ||
        !read(QStringLiteral("%1 password again: ").arg(which), again)) {
        error = QStringLiteral("No %1 password given (use --%2-password or type it at the prompt)")
                    .arg(which.toLower(), which.toLower());
        return false;
    }
    if (password != again) {
        error = QStringLiteral("The two %1 passwords typed differ").arg(which.toLower());
        return false;
    }
    return true;
}

}  // namespace

QString ParseInitConfigOptions(const QStringList& arguments, InitConfigOptions& options) {
    for (int i = 1; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        std::optional<QString> inlineValue;
        const int eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        auto value = [&](QString& out) -> QString {
            if (inlineValue) {
                out = *inlineValue;
                return {};
            }
            if (i + 1 >= arguments.size()) return QStringLiteral("%1 needs a value").arg(name);
            out = arguments.at(++i);
            return {};
        };
        QString v, error;
        if (name == QLatin1String("--init-config") && !inlineValue) continue;
        if (name == QLatin1String("--data-dir") || name == QLatin1String("--code-page")) {
            error = value(v);  // resolved by the program itself; only skipped here
        } else if (name == QLatin1String("--language")) {
            error = value(options.language);
        } else if (name == QLatin1String("--super-password")) {
            if ((error = value(v)).isEmpty()) options.superPassword = v;
        } else if (name == QLatin1String("--ordinary-password")) {
            if ((error = value(v)).isEmpty()) options.ordinaryPassword = v;
        } else if (name == QLatin1String("--port")) {
            if ((error = value(v)).isEmpty()) options.ports << v;
        } else if (name == QLatin1String("--remark")) {
            if ((error = value(v)).isEmpty()) {
                if (options.ports.isEmpty())
                    return QStringLiteral("--remark must follow the --port it names");
                while (options.remarks.size() < options.ports.size()) options.remarks << QString();
                options.remarks[options.ports.size() - 1] = v;
            }
        } else if (name == QLatin1String("--force") && !inlineValue) {
            options.force = true;
        } else {
            return QStringLiteral("Unknown option for --init-config: %1").arg(arguments.at(i));
        }
        if (!error.isEmpty()) return error;
    }
    return {};
}

InitConfigResult InitConfig(const QString& dataDir, const InitConfigOptions& options,
                            const PasswordReader& readPassword, const QByteArray& codePage) {
    Config config(dataDir, codePage);
    const QString iniPath = QDir::toNativeSeparators(config.filePath(kIni));
    if (!QFileInfo(dataDir).isDir())
        return refused(
            QStringLiteral("Data folder \"%1\" does not exist").arg(QDir::toNativeSeparators(dataDir)));

    // Language: one of the installed catalogues, or of the shipped ones that a data folder without
    // any is about to get.
    QStringList toCopy;
    QStringList languages = CatalogueNames(dataDir);
    if (languages.isEmpty() && !options.shippedDir.isEmpty() &&
        QFileInfo(options.shippedDir).canonicalFilePath() != QFileInfo(dataDir).canonicalFilePath()) {
        languages = CatalogueNames(options.shippedDir);
        toCopy = ShippedFiles(options.shippedDir);
    }
    QString language = options.language;
    if (language.isEmpty()) {
        if (languages.isEmpty())
            return refused(
                QStringLiteral("No language catalogue (*.lag) in \"%1\"; install one or give --language")
                    .arg(QDir::toNativeSeparators(dataDir)));
        language =
            languages.contains(QStringLiteral("Chinese")) ? QStringLiteral("Chinese") : languages.first();
    } else if (!languages.contains(language)) {
        return refused(
            QStringLiteral("No catalogue \"%1.lag\" in \"%2\" (installed: %3)")
                .arg(language, QDir::toNativeSeparators(dataDir),
                     languages.isEmpty() ? QStringLiteral("none") : languages.join(QStringLiteral(", "))));
    }

    // Ports: a list the program can hold, names, no repeats.
    if (options.ports.size() > kMaxPorts)
        return refused(QStringLiteral("%1 ports given; at most %2 can be listed")
                           .arg(options.ports.size())
                           .arg(kMaxPorts));
    for (int i = 0; i < options.ports.size(); ++i) {
        const QString port = options.ports.at(i).trimmed();
        if (port.isEmpty()) return refused(QStringLiteral("Port %1 has an empty name").arg(i + 1));
        for (int j = 0; j < i; ++j)
            if (options.ports.at(j).trimmed() == port)
                return refused(QStringLiteral("Port \"%1\" is given twice").arg(port));
    }

    // An existing file is kept unless the operator says otherwise, before asking for passwords.
    if (QFileInfo::exists(config.filePath(kIni)) && !options.force)
        return refused(
            QStringLiteral("\"%1\" already exists; give --force to replace its settings").arg(iniPath));

    QString super, ordinary, error;
    if (!obtainPassword(options.superPassword, QStringLiteral("Super"), readPassword, super, error) ||
        !obtainPassword(options.ordinaryPassword, QStringLiteral("Ordinary"), readPassword, ordinary, error))
        return refused(error);
    const std::pair<QString, QString> checks[] = {{super, QStringLiteral("super")},
                                                  {ordinary, QStringLiteral("ordinary")}};
    for (const auto& [text, which] : checks) {
        if (text.isEmpty()) return refused(QStringLiteral("The %1 password is empty").arg(which));
        if (text.size() > kMaxPasswordLength)
            return refused(QStringLiteral("The %1 password is longer than %2 characters")
                               .arg(which)
                               .arg(kMaxPasswordLength));
        if (!config.representable(text))
            return refused(QStringLiteral("The %1 password has characters that code page %2 cannot hold")
                               .arg(which, QString::fromLatin1(codePage)));
    }
    if (super == ordinary) return refused(QStringLiteral("The super and ordinary passwords must differ"));
    const qint32 superHash = ProductHash(config.toAnsi(super));
    const qint32 ordinaryHash = ProductHash(config.toAnsi(ordinary));
    // The login compares hashes, super first: equal hashes would let the ordinary password in as super.
    if (superHash == ordinaryHash)
        return refused(
            QStringLiteral("The two passwords give the same hash; choose another ordinary password"));

    const int rows = int(options.ports.size());
    const QString flash = QString::number(kRefreshSeconds);
    const QString save1 = QString::number(qMax(60, kRefreshSeconds * rows));
    const QString save2 = QString::number(qMax(1, roundHalfEven(kRefreshSeconds * rows, 60) + 1));
    const QString ports = QString::number(rows);
    const QString cjkl = QString::number(superHash);
    const QString ptkl = QString::number(ordinaryHash);

    QList<IniEntry> entries{{kSet, QStringLiteral("language"), language},
                            {kSet, QStringLiteral("flash"), flash},
                            {kSet, QStringLiteral("save2"), save2},
                            {kSet, QStringLiteral("save1"), save1},
                            {kSet, QStringLiteral("ports"), ports}};
    for (int i = 0; i < rows; ++i) {
        const QString row = QString::number(i);
        const QString port = options.ports.at(i).trimmed();
        entries << IniEntry{kSet, QStringLiteral("port") + row, port}
                << IniEntry{kSet, QStringLiteral("remark") + row,
                            i < options.remarks.size() && !options.remarks.at(i).trimmed().isEmpty()
                                ? options.remarks.at(i).trimmed()
                                : port}
                << IniEntry{kSet, QStringLiteral("portremark") + row, QString()};
    }
    entries << IniEntry{kSet, QStringLiteral("cjkl"), cjkl} << IniEntry{kSet, QStringLiteral("ptkl"), ptkl}
            << IniEntry{kSet, QStringLiteral("jzm"),
                        CheckValue(config, language, flash, save2, save1, ports, cjkl, ptkl)};
    QString copied;
    for (const QString& name : toCopy) {
        const QString target = QDir(dataDir).filePath(name);
        if (QFileInfo::exists(target)) continue;  // a help file already there is the operator's own
        if (!QFile::copy(QDir(options.shippedDir).filePath(name), target))
            return {2, QStringLiteral("Could not copy \"%1\" into \"%2\"")
                           .arg(QDir::toNativeSeparators(QDir(options.shippedDir).filePath(name)),
                                QDir::toNativeSeparators(dataDir))};
        copied += (copied.isEmpty() ? QString() : QStringLiteral(", ")) + name;
    }
    try {
        config.wriniBatch(kIni, entries);
    } catch (const ConfigError& e) {
        return {2, e.message()};
    }
    if (config.reini(kIni, kSet, QStringLiteral("jzm")) != StoredCheckValue(config))
        return {2, QStringLiteral(
                       "\"%1\" was written but does not pass its check; look for a second [Set] section")
                       .arg(iniPath)};
    QString message;
    if (!copied.isEmpty())
        message = QStringLiteral("Copied %1 from \"%2\"\n")
                      .arg(copied, QDir::toNativeSeparators(options.shippedDir));
    return {0, message + QStringLiteral("Wrote \"%1\": language %2, %3 port(s), refresh %4 s, intervals %5 s "
                                        "and %6 min")
                             .arg(iniPath, language, ports, flash, save1, save2)};
}

InitConfigResult RunInitConfig(const QStringList& arguments, const QString& dataDir,
                               const PasswordReader& readPassword, const QByteArray& codePage,
                               const QString& shippedDir) {
    InitConfigOptions options;
    options.shippedDir = shippedDir;
    const QString error = ParseInitConfigOptions(arguments, options);
    if (!error.isEmpty()) return refused(error);
    return InitConfig(dataDir, options, readPassword, codePage);
}

}  // namespace tarsyn::config
