#include "history/CurveExport.h"

#include "config/CsvWriter.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"

namespace tarsyn::history {

namespace {

void appendRows(config::CsvWriter& csv, const char* chart, const QVector<HistoryPoint>& rows,
                const QString& port) {
    const QString name = QString::fromLatin1(chart);
    for (const HistoryPoint& r : rows) csv.addRow({name, r.sj, QString::number(r.value, 'g', 15), port});
}

}  // namespace

QByteArray curveCsv(const QVector<HistoryPoint>& hourRows, const QVector<HistoryPoint>& dayRows,
                    const QString& port) {
    config::CsvWriter csv(config::ByteOrderMark::Utf8);
    csv.addRow(
        {QStringLiteral("chart"), QStringLiteral("time"), QStringLiteral("value"), QStringLiteral("port")});
    appendRows(csv, "hour", hourRows, port);
    appendRows(csv, "day", dayRows, port);
    return csv.bytes();
}

bool exportCurveCsv(CurveQuery& query, const QString& port, int channel, const QString& path,
                    QString* error) {
    QByteArray bytes;
    try {
        bytes = curveCsv(query.rows(ChartKind::Hour, port, channel),
                         query.rows(ChartKind::Day, port, channel), port);
    } catch (const HistoryError& e) {
        if (error) *error = e.message();
        return false;
    }
    QString reason;
    if (!config::saveWhole(path, bytes, &reason)) {
        if (error) *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, reason);
        return false;
    }
    return true;
}

}  // namespace tarsyn::history
