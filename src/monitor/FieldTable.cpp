#include "monitor/FieldTable.h"

#include <QStringList>
#include <vector>

#include "monitor/LiveMap.h"
#include "monitor/ReadingJson.h"

namespace tarsyn::monitor {

namespace {

QString scaleText(const BlockField& f) {
    return f.divisor() == 100  ? QStringLiteral("0.01")
           : f.divisor() == 10 ? QStringLiteral("0.1")
                               : QStringLiteral("1");
}

QString rangeText(const BlockField& f) {
    return QStringLiteral("%1 to %2").arg(QString::number(f.low), QString::number(f.high));
}

}  // namespace

QString FieldTable(FieldTableFormat format) {
    const QStringList heads = {QStringLiteral("Member"), QStringLiteral("Key"),   QStringLiteral("Panel"),
                               QStringLiteral("Unit"),   QStringLiteral("Scale"), QStringLiteral("Range")};
    std::vector<QStringList> rows;
    for (const auto& [member, table] : {std::pair{QStringLiteral("values"), &LiveValueFields()},
                                        std::pair{QStringLiteral("delays"), &DelayBlockFields()}})
        for (const BlockField& f : *table)
            rows.push_back({member, QLatin1String(f.key), QLatin1String(f.panel), UnitText(f.unit),
                            scaleText(f), rangeText(f)});
    QString text;
    if (format == FieldTableFormat::Markdown) {
        text += QStringLiteral("| ") + heads.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
        text += QStringLiteral("|---|---|---|---|---|---|\n");
        for (const QStringList& row : rows) {
            QStringList cells = row;
            for (int i = 0; i < 3; ++i) cells[i] = QLatin1Char('`') + cells[i] + QLatin1Char('`');
            if (cells[3].isEmpty()) cells[3] = QStringLiteral("none");
            text += QStringLiteral("| ") + cells.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
        }
        return text;
    }
    // scdoc: a row starts with "|", each further cell with ":", "[" aligns left.
    for (int i = 0; i < heads.size(); ++i)
        text += (i == 0 ? QStringLiteral("[[ *") : QStringLiteral(":[ *")) + heads[i] + QStringLiteral("*\n");
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i) {
            const QString cell = i == 3 && row[i].isEmpty() ? QStringLiteral("none") : row[i];
            text += (i == 0 ? QStringLiteral("|  ") : QStringLiteral(":  ")) + cell + QLatin1Char('\n');
        }
    return text;
}

}  // namespace tarsyn::monitor
