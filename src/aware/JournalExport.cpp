#include "aware/JournalExport.h"

#include <QJsonObject>
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

JournalDetail RenderJournalDetail(const history::JournalEvent& event, const config::Catalogue& catalogue) {
    QJsonObject whole;
    if (const auto text = config::CatalogueText::fromJsonText(event.data, &whole)) {
        const QString said = text->render(catalogue);
        if (!said.isNull())
            return {said, whole.value(QStringLiteral("o")).toString(),
                    whole.value(QStringLiteral("fr")).toString()};
    }
    JournalDetail d = SplitJournalDetail(event.detail);
    // An older program's command: "Start (0005100100FF)" once the button's name is out.
    static const QRegularExpression kFrame(QStringLiteral("\\s*\\(((?:[0-9A-F]{2}){4,})\\)$"));
    const QRegularExpressionMatch m = kFrame.match(d.text);
    if (m.hasMatch() && (event.kind == history::JournalKind::CommandSent ||
                         event.kind == history::JournalKind::CommandDeclined ||
                         event.kind == history::JournalKind::CalibrationSent)) {
        d.frames = m.captured(1);
        d.text.truncate(m.capturedStart());
    }
    return d;
}

bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText,
                     const config::Catalogue& catalogue, QString* error) {
    const QString text = history::JournalCsv(events, kindText,
                                             [&catalogue](const history::JournalEvent& e) {
                                                 const JournalDetail d = RenderJournalDetail(e, catalogue);
                                                 return QStringList{d.text, d.objects, d.frames};
                                             },
                                             {QStringLiteral("objects"), QStringLiteral("frames")});
    return config::saveWhole(path, config::CsvWriter::encode(text, config::ByteOrderMark::Utf8), error);
}

}  // namespace tarsyn::aware
