#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <stdexcept>

namespace tarsyn::config {

/// A write of an ini file that failed; the text is "Unable to write to <full path>" (followed by
/// ": <reason>" when the write was refused because of what it was asked to write).
class ConfigError : public std::runtime_error {
public:
    explicit ConfigError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
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

/// All keys of one section, read in one pass (a catalogue's "Translations" when a window is re-labelled).
/// Lookups ignore case and surrounding blanks like `Config::reini`; the first of duplicate keys wins.
class IniSection {
public:
    /// The value of `key`, or `fallback` when the key is missing.
    QString value(const QString& key, const QString& fallback = QStringLiteral("0")) const;
    bool contains(const QString& key) const;
    int size() const { return int(m_values.size()); }
    void insert(const QString& key, const QString& value);  ///< keeps an existing key (first wins)

private:
    QHash<QString, QString> m_values;  // case-folded key -> value
};

/// The data folder's ini-format files (system.ini, the *.lag catalogues) with the semantics of Windows
/// profile files: section and key names match without regard to case or surrounding blanks, the first
/// of duplicate sections or keys is the one used, every read defaults to "0", values come back trimmed
/// and cut at 2047 characters. A write keeps every other line of the file byte for byte (comments,
/// order, blank lines, line endings), replaces a present key in place and adds a missing key after the
/// last key of its section, a missing section at the end. New lines take the file's line ending
/// (the first one found); a new file gets CR LF, so that files move freely between this program and
/// installations on Windows. As there, a read removes one pair of matching quotes (single or double)
/// around a value: `language="Chinese"` reads Chinese; a write stores the value as given.
///
/// Files are read and written in the ANSI code page (GBK unless told otherwise); Qt's GBK converter
/// comes from ICU, which the Debian Qt build links. Every write replaces the file atomically: a
/// temporary file in the same folder is written, flushed and synced, then renamed over the old one and
/// the folder synced, so a crash leaves the old file or the new one. Nothing is cached: each call opens
/// and closes the file. File names are plain names inside the data folder; one with a path separator
/// reads as missing and cannot be written.
class Config {
public:
    explicit Config(const QString& dataDir, const QByteArray& codePage = QByteArrayLiteral("GBK"));

    QString dataDir() const { return m_dataDir; }
    QByteArray codePage() const { return m_codePage; }
    /// False when Qt has no converter for the code page; texts then pass as Latin-1.
    bool codePageSupported() const;
    /// Full path of a file in the data folder.
    QString filePath(const QString& fileName) const;

    /// One value of `fileName` (relative to the data folder); "0" when the file, section or key is missing.
    QString reini(const QString& fileName, const QString& section, const QString& key) const;
    /// Every key of one section, read once (empty when the file or section is missing).
    IniSection readSection(const QString& fileName, const QString& section) const;
    /// Writes one value; raises ConfigError and changes nothing when the file cannot be written.
    void wrini(const QString& fileName, const QString& section, const QString& key, const QString& value);
    /// Writes several values as one atomic replacement of the file: all of them or none. Raises
    /// ConfigError before touching the file when a name or value cannot be stored (a line break, a
    /// "=" or "]" in a name, a character the code page cannot hold).
    void wriniBatch(const QString& fileName, const QList<IniEntry>& entries);

    /// Text in the ANSI code page, as the file stores it.
    QByteArray toAnsi(const QString& text) const;
    QString fromAnsi(const QByteArray& bytes) const;
    /// True when every character of `text` exists in the code page.
    bool representable(const QString& text) const;

    /// Removes the temporary copies that saves killed before their rename left behind
    /// (".<name>.tmp<hex>" in the data folder) when they were last written `olderThanSeconds` or more
    /// ago, so that a save running at this moment keeps its own. Returns how many were removed.
    int removeStaleTemporaries(qint64 olderThanSeconds = 60) const;

    /// Longest value a read gives back, in characters.
    static constexpr int kMaxValueLength = 2047;

private:
    struct ReadCache;
    QString m_dataDir;
    QByteArray m_codePage;
    /// Files already parsed: every lookup reads its file afresh, but parses it again only when its
    /// bytes changed. Copies share it.
    std::shared_ptr<ReadCache> m_cache;
};

/// The program's text hash: h = 1; for each 8-bit code c, h = round_half_even(wrap32(h*c) / 10).
qint32 ProductHash(const QByteArray& ansiText);

/// The check value "jzm" over the seven inputs, in this order: language, flash, save2, save1, ports,
/// cjkl, ptkl; upper-case hexadecimal of the unsigned 32-bit pattern, at least two digits.
QString CheckValue(const Config& config, const QString& language, const QString& flash, const QString& save2,
                   const QString& save1, const QString& ports, const QString& cjkl, const QString& ptkl);

/// The check value of what section Set of system.ini holds now (each missing input counts as "0").
QString StoredCheckValue(const Config& config);

/// The start check with its explanation: empty when the stored "jzm" matches section Set of
/// system.ini; otherwise the line shown under "system.ini Error!": the file's full path, what is wrong
/// with it (missing, unreadable, check value not matching) and what to do (`tarsyn --init-config`).
QString SettingsCheckProblem(const Config& config);

}  // namespace tarsyn::config
