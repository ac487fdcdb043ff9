#include "cli/Options.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include "config/Config.h"
#include "config/SettingsLimits.h"
#include "link/LineSettings.h"
#include "link/PortLock.h"

namespace tarsyn::cli {

QString ParseOptions(const QStringList& arguments, Options& options) {
    // Options that take a value, as "--name VALUE" or "--name=VALUE".
    const QStringList valued = {"--port",     "--ports-file", "--data-dir", "--code-page",
                                "--language", "--controller", "--channel",  "--timeout",
                                "--retries",  "--broker",     "--client",   "--key-file",
                                "--site",     "--cafile",     "--user",     "--password-file"};
    const std::pair<const char*, QString*> remote[] = {{"--broker", &options.broker},
                                                       {"--client", &options.client},
                                                       {"--key-file", &options.keyFile},
                                                       {"--site", &options.site},
                                                       {"--cafile", &options.cafile},
                                                       {"--user", &options.user},
                                                       {"--password-file", &options.passwordFile}};
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        QString value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            hasValue = true;
        }
        if (valued.contains(arg)) {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) return QStringLiteral("%1 needs a value").arg(arg);
                value = arguments.at(++i);
            }
            bool taken = false;
            for (const auto& [name, field] : remote)
                if (arg == QLatin1String(name)) {
                    *field = value;
                    taken = true;
                }
            if (taken)
                continue;
            else if (arg == QLatin1String("--port"))
                options.ports << value;
            else if (arg == QLatin1String("--ports-file"))
                options.portsFile = value;
            else if (arg == QLatin1String("--data-dir"))
                options.dataDirArguments = {QStringLiteral("--data-dir"), value};
            else if (arg == QLatin1String("--code-page"))
                options.codePage = value.toLatin1();
            else if (arg == QLatin1String("--language"))
                options.language = value;
            else if (arg == QLatin1String("--controller"))
                options.controller = value;
            else if (arg == QLatin1String("--timeout") || arg == QLatin1String("--retries")) {
                // Whole numbers in their range, "+5" and "5ms" refused as the settings are.
                const bool timeout = arg == QLatin1String("--timeout");
                const qint64 low = timeout ? kMinTimeoutMs : 0, high = timeout ? kMaxTimeoutMs : kMaxRetries;
                const std::optional<qint64> n = config::WholeNumber(value);
                if (!n || *n < low || *n > high)
                    return QStringLiteral("%1 \"%2\": give %3 from %4 to %5")
                        .arg(arg, value, QLatin1String(timeout ? "milliseconds" : "a count"))
                        .arg(low)
                        .arg(high);
                (timeout ? options.timeoutMs : options.retries) = int(*n);
            } else
                options.channel = value;
            continue;
        }
        if (hasValue) return QStringLiteral("%1 takes no value").arg(arg);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            options.help = true;
        else if (arg == QLatin1String("--yes"))
            options.yes = true;
        else if (arg == QLatin1String("--csv"))
            options.csv = true;
        else if (arg == QLatin1String("--json"))
            options.json = true;
        else if (arg == QLatin1String("--watch"))
            options.watch = true;
        else if (arg == QLatin1String("--stats"))
            options.stats = true;
        else if (arg == QLatin1String("--day"))
            options.day = true;
        else if (arg == QLatin1String("--hour"))
            options.hour = true;
        else if (arg == QLatin1String("--quiet") || arg == QLatin1String("-q"))
            options.quiet = true;
        else if (arg == QLatin1String("--dry-run"))
            options.dryRun = true;
        else if (arg == QLatin1String("--all"))
            options.all = true;
        else if (arg == QLatin1String("--one-file"))
            options.oneFile = true;
        else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1 && !arg.at(1).isDigit())
            return QStringLiteral("unknown option %1").arg(arg);
        else if (options.command.isEmpty())
            options.command = arg;
        else
            options.words << arg;  // a negative number is a word: "calibrate ua -1"
    }
    return {};
}

QString ReadPortsFile(const QString& path, QStringList& ports) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("cannot read the ports file %1: %2").arg(path, file.errorString());
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        // A longer list is refused at its first line too many, however long the file.
        if (ports.size() >= kMaxLines) return TooManyLines();
        ports << line;
    }
    return {};
}

QString TooManyLines() {
    return QStringLiteral("more than %1 lines: one run serves at most %1 ports, as the program's port list")
        .arg(kMaxLines);
}

QString CheckPortNames(const QStringList& ports, const config::Config& config) {
    // The rules of the settings window's port list: a name, once, storable in system.ini. Once means
    // one device: two names of it (a symbolic link, "..") are the same line.
    if (ports.size() > kMaxLines) return TooManyLines();
    QSet<QString> devices;
    for (int i = 0; i < ports.size(); ++i) {
        const QString port = ports.at(i).trimmed();
        if (port.isEmpty()) return QStringLiteral("port %1 has an empty name").arg(i + 1);
        if (!config.representable(port) || port.contains(QLatin1Char('\n')) ||
            port.contains(QLatin1Char('\r')))
            return QStringLiteral("port \"%1\" holds characters system.ini cannot store").arg(port);
        const QString device = link::RealDevicePath(link::DevicePathForPortName(port));
        if (devices.contains(device))
            return QStringLiteral("port \"%1\" is given twice (device %2)").arg(port, device);
        devices.insert(device);
    }
    return {};
}

QString PerPortFile(const QString& file, const QString& port) {
    QString base = QFileInfo(link::DevicePathForPortName(port.trimmed())).fileName();
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QFileInfo info(file);
    const QString name = info.fileName();
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString newName =
        dot > 0 ? name.left(dot) + QLatin1Char('-') + base + name.mid(dot) : name + QLatin1Char('-') + base;
    const QString dir = file.left(file.size() - name.size());
    return dir + newName;
}

}  // namespace tarsyn::cli
