#include "config/CsvWriter.h"

#include <QSaveFile>

namespace tarsyn::config {

namespace {

/// One field as written: as it is, or quoted with its quotes doubled.
QString field(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

void CsvWriter::addRow(const QStringList& fields) { m_text += line(fields); }

QByteArray CsvWriter::bytes() const { return encode(m_text, m_mark); }

QString CsvWriter::line(const QStringList& fields) {
    QStringList out;
    out.reserve(fields.size());
    for (const QString& f : fields) out << field(f);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QByteArray CsvWriter::encode(const QString& text, ByteOrderMark mark) {
    const QByteArray utf8 = text.toUtf8();
    return mark == ByteOrderMark::Utf8 ? QByteArrayLiteral("\xEF\xBB\xBF") + utf8 : utf8;
}

bool saveWhole(const QString& path, const QByteArray& bytes, QString* error) {
    // QSaveFile writes beside the target and renames at commit; without a direct-write fallback a
    // folder that refuses the temporary file refuses the save instead of overwriting the old file.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace tarsyn::config
