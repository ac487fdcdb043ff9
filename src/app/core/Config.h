#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <stdexcept>

namespace tarsyn::app {

/// A write of an ini file that failed; the text is "Unable to write to <full path>".
class ConfigError : public std::runtime_error {
public:
    explicit ConfigError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

/// One key of a batch write.
struct IniEntry {
    QString section;
    QString key;
    QString value;
};

/// The data folder's ini-format files (system.ini, the *.lag catalogues) with the semantics of Windows
/// profile files: section and key names match without regard to case, every read defaults to "0",
/// values come back cut at 2047 characters, a write keeps every other line and adds what is missing at
/// the end. Files are read and written in the ANSI code page (GBK unless told otherwise). Every write
/// replaces the file atomically. Nothing is cached: each call opens and closes the file.
class Config {
public:
    explicit Config(const QString& dataDir, const QByteArray& codePage = QByteArrayLiteral("GBK"));

    QString dataDir() const { return m_dataDir; }
    QByteArray codePage() const { return m_codePage; }
    /// Full path of a file in the data folder.
    QString filePath(const QString& fileName) const;

    /// One value of `fileName` (relative to the data folder); "0" when the file, section or key is missing.
    QString reini(const QString& fileName, const QString& section, const QString& key) const;
    /// Writes one value; raises ConfigError and changes nothing when the file cannot be written.
    void wrini(const QString& fileName, const QString& section, const QString& key, const QString& value);
    /// Writes several values as one atomic replacement of the file: all of them or none.
    void wriniBatch(const QString& fileName, const QList<IniEntry>& entries);

    /// Text in the ANSI code page, as the file stores it.
    QByteArray toAnsi(const QString& text) const;
    QString fromAnsi(const QByteArray& bytes) const;

private:
    QString m_dataDir;
    QByteArray m_codePage;
};

/// The program's text hash: h = 1; for each 8-bit code c, h = round_half_even(wrap32(h*c) / 10).
qint32 ProductHash(const QByteArray& ansiText);

/// The check value "jzm" over the seven inputs, in this order: language, flash, save2, save1, ports,
/// cjkl, ptkl; upper-case hexadecimal of the unsigned 32-bit pattern, at least two digits.
QString CheckValue(const Config& config, const QString& language, const QString& flash, const QString& save2,
                   const QString& save1, const QString& ports, const QString& cjkl, const QString& ptkl);

}  // namespace tarsyn::app
