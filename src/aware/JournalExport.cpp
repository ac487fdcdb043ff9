#include "aware/JournalExport.h"

#include <QRegularExpression>

#include "config/CsvWriter.h"

namespace tarsyn::aware {

QString JournalKindText(history::JournalKind kind, const std::function<QString(const QString&)>& message) {
    return message(QStringLiteral("jk") + history::journalKindCode(kind));
}

JournalDetail SplitJournalDetail(const QString& detail) {
    // The program's window names (`TForm1`…, `Tgsm`) and control names: a type prefix and a number
    // (`zs9`, `pnl17`, `dport4`, `rbsd1`, `edtys3`, `btngsm2`).
    static const QRegularExpression kName(QStringLiteral(
        "\\b(?:TForm\\d+|Tgsm|(?:zs|pnl|dport|btn|rb|edt|cbb|chk|lbl|grp|img|tab)[a-z]*\\d+[a-z0-9]*)\\b"));
    JournalDetail out;
    QStringList names;
    QRegularExpressionMatchIterator it = kName.globalMatch(detail);
    while (it.hasNext()) {
        const QString name = it.next().captured();
        if (!names.contains(name)) names << name;
    }
    out.objects = names.join(QLatin1Char(' '));
    QString text = detail;
    text.remove(kName);
    // What the names leave behind: "( , 000500…)", "()", " ,", doubled blanks.
    static const QRegularExpression kOpen(QStringLiteral("\\(\\s*,\\s*"));
    static const QRegularExpression kClose(QStringLiteral("\\s*,\\s*\\)"));
    static const QRegularExpression kEmpty(QStringLiteral("\\s*\\(\\s*\\)"));
    static const QRegularExpression kBeforeComma(QStringLiteral("\\s+([,;:])"));
    static const QRegularExpression kBlanks(QStringLiteral("[ \\t]{2,}"));
    text.replace(kOpen, QStringLiteral("("));
    text.replace(kClose, QStringLiteral(")"));
    text.replace(kEmpty, QString());
    text.replace(kBeforeComma, QStringLiteral("\\1"));
    text.replace(kBlanks, QStringLiteral(" "));
    out.text = text.trimmed();
    return out;
}

bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText, QString* error) {
    const QString text = history::JournalCsv(events, kindText, [](const QString& detail) {
        const JournalDetail d = SplitJournalDetail(detail);
        return std::make_pair(d.text, d.objects);
    });
    return config::saveWhole(path, config::CsvWriter::encode(text, config::ByteOrderMark::Utf8), error);
}

}  // namespace tarsyn::aware
