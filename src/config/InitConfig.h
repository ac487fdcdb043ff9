#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarsyn::config {

/// What `tarsyn --init-config` was asked to write.
struct InitConfigOptions {
    QString language;                      ///< empty: "Chinese" if installed, else the first catalogue
    std::optional<QString> superPassword;  ///< not given: asked through the password reader
    std::optional<QString> ordinaryPassword;
    QStringList ports;    ///< one row each, in order; none by default
    QStringList remarks;  ///< remark of each row; missing or empty: the port name
    bool force = false;   ///< replace the settings of an existing system.ini
    /// Where the program's own catalogues (*.lag) and help files (*.hlp) are, the executable's folder:
    /// a data folder without any catalogue gets copies of them. Empty: nothing is copied.
    QString shippedDir;
};

/// Reads one password from the operator (the program reads the terminal without echo); false when
/// nothing could be read (no terminal, end of input).
using PasswordReader = std::function<bool(const QString& prompt, QString& password)>;

/// Outcome: exit code 0 written, 1 refused (bad option, bad password, existing file), 2 write failed;
/// `message` says what was written or what was wrong, for the terminal.
struct InitConfigResult {
    int exitCode = 0;
    QString message;
};

/// Reads the options of --init-config from the program's arguments (arguments[0], the program, is
/// skipped; "--init-config" and "--data-dir DIR" are left to their owners): `--language NAME`,
/// `--super-password TEXT`, `--ordinary-password TEXT`, `--port NAME` (repeatable), `--remark TEXT` (the
/// remark of the `--port` before it),
/// `--code-page NAME` (skipped: the program's own), `--force`, each
/// also as --option=value. Returns an error text for an unknown option or a missing value.
QString ParseInitConfigOptions(const QStringList& arguments, InitConfigOptions& options);

/// Writes a fresh section Set into <dataDir>/system.ini in one atomic replacement: "language", "flash" 6,
/// "save2" and "save1" at their minimums for the rows (save1 = max(60, 6 × ports), save2 =
/// max(1, round_half_even(6 × ports / 60) + 1); with no ports the form defaults 60 and 1), "ports",
/// rows port<n> = name, remark<n> = name, portremark<n> empty, "cjkl" and "ptkl" (decimal ProductHash
/// of the passwords) and a matching "jzm". Refuses empty, equal or equally hashing passwords, one
/// longer than 30 characters or with characters the code page lacks, more than 64 ports, and an
/// existing system.ini unless forced (then other sections and keys stay). A data
/// folder without catalogues first gets the shipped catalogues and help files of `shippedDir` (the
/// message lists them), once every check has passed.
InitConfigResult InitConfig(const QString& dataDir, const InitConfigOptions& options,
                            const PasswordReader& readPassword,
                            const QByteArray& codePage = QByteArrayLiteral("GBK"));

/// Both steps for main(): parse `arguments`, then InitConfig with `shippedDir` (the executable's folder).
InitConfigResult RunInitConfig(const QStringList& arguments, const QString& dataDir,
                               const PasswordReader& readPassword,
                               const QByteArray& codePage = QByteArrayLiteral("GBK"),
                               const QString& shippedDir = QString());

}  // namespace tarsyn::config
