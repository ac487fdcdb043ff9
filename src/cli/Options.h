#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "config/SettingsLimits.h"

namespace tarsyn::config {
class Config;
}

namespace tarsyn::cli {

/// Exit codes of tarsynctl: a script tells a difference from a dead line by them.
enum ExitCode {
    kExitOk = 0,
    kExitDiffers = 1,  ///< a difference, a refused value or a declined confirmation
    kExitUsage = 2,
    kExitLink = 3,    ///< the port would not open or the controller did not answer
    kExitFailed = 4,  ///< serve: a line failed while it ran and could not be restarted
};

/// The command line of tarsynctl: the options shared by every sub-command, then the sub-command, its
/// words and its own options.
struct Options {
    QStringList ports;  ///< --port, in the order given, then the --ports-file lines
    QString portsFile;
    QStringList dataDirArguments;  ///< "--data-dir DIR" as given, for config::ResolveDataFolder
    QByteArray codePage = QByteArrayLiteral("GBK");
    QString language;  ///< empty: the data folder's system.ini language, else English

    QString command;    ///< "page", "backup", …; empty with --help alone
    QStringList words;  ///< the sub-command's positional words ("read", "delays")
    bool help = false;
    bool yes = false;
    bool csv = false;
    bool json = false;   ///< live --json, diff --json
    bool watch = false;  ///< live --watch
    bool stats = false;  ///< live --stats
    bool day = false;
    bool hour = false;
    bool quiet = false;    ///< --quiet: errors and data only
    int timeoutMs = 0;     ///< --timeout MS: the least wait for a reply (0: the program's)
    int retries = 0;       ///< --retries N: reads sent again when no usable reply came
    bool dryRun = false;   ///< restore --dry-run
    bool all = false;      ///< restore --all: every word, not only those that differ
    bool oneFile = false;  ///< diff/restore --one-file: FILE itself for every port
    QString controller;    ///< history export --controller
    QString channel;       ///< history export --channel
    /// remote: the broker, the sender and its key, the site, the authority, the broker's user and
    /// password file (the wait for the result is --timeout's, default 10 s).
    QString broker, client, keyFile, site, cafile, user, passwordFile;
};

/// Reads `arguments` (without the program's name). Returns an error text for anything it cannot
/// take (an unknown option, a missing value); the sub-command's own words are checked by its runner.
QString ParseOptions(const QStringList& arguments, Options& options);

/// The most lines one run serves: the program's port list holds as many.
inline constexpr int kMaxLines = int(config::kMaxPorts);
/// --timeout's range, in milliseconds, and --retries'.
inline constexpr int kMinTimeoutMs = 100;
inline constexpr int kMaxTimeoutMs = 60000;
inline constexpr int kMaxRetries = 10;

/// The refusal of a longer list of ports, naming the limit.
QString TooManyLines();

/// Reads a ports file: one port name a line; blank lines and lines starting with "#" are skipped.
/// Returns an error text when the file cannot be read or `ports` would pass kMaxLines (at once: the
/// rest of the file is not read).
QString ReadPortsFile(const QString& path, QStringList& ports);

/// The port names checked as the program checks a port list row: none empty once trimmed, none given
/// twice (by the real device, so a symbolic link and its target are one), each a text system.ini could
/// hold (`config`'s code page, one line), at most kMaxLines of them. Returns the error text, or empty.
QString CheckPortNames(const QStringList& ports, const config::Config& config);

/// The file of one port when several ports share a FILE argument: the port's base name inserted
/// before the file's extension ("backup.ini" and /dev/ttyUSB0 give "backup-ttyUSB0.ini").
QString PerPortFile(const QString& file, const QString& port);

}  // namespace tarsyn::cli
