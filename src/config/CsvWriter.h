#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarsyn::config {

/// Whether a CSV file starts with the UTF-8 byte-order mark. Spreadsheet programs read a file without
/// it in the PC's own code page, which mangles Chinese texts and remarks in any other script.
enum class ByteOrderMark { Without, Utf8 };

/// The comma separated text every export of the program writes (RFC 4180): fields separated by commas,
/// a field quoted only when it holds a comma, a quote or a line break (quotes doubled), every line ended
/// by CR LF, the whole encoded as UTF-8. Rows are collected in memory and written in one step, so an
/// export that fails half-way leaves nothing behind.
class CsvWriter {
public:
    explicit CsvWriter(ByteOrderMark mark = ByteOrderMark::Utf8) : m_mark(mark) {}

    /// Appends one line of fields.
    void addRow(const QStringList& fields);

    /// The lines so far, without the byte-order mark.
    const QString& text() const { return m_text; }
    /// The file's bytes: the mark when asked for, then the text in UTF-8.
    QByteArray bytes() const;

    /// One line: the fields, separated by commas, and CR LF.
    static QString line(const QStringList& fields);
    /// `text` as a file's bytes: UTF-8, after the byte-order mark when `mark` asks for it.
    static QByteArray encode(const QString& text, ByteOrderMark mark);

private:
    ByteOrderMark m_mark;
    QString m_text;
};

/// Replaces `path` with `bytes` in one step: they go to a temporary file in the same folder, which is
/// renamed over the old file only once completely written. A refused or failed save (a read-only
/// folder, a full disk, a crash half-way) leaves the old file as it was. False with the system's reason
/// in `error`.
bool saveWhole(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace tarsyn::config
