#include "history/CurveExport.h"

#include <QSaveFile>

#include "history/CurveQuery.h"
#include "history/HistoryStore.h"

namespace tarsyn::history {

namespace {

QString field(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void appendRows(QString& out, const char* chart, const QVector<HistoryPoint>& rows, const QString& port) {
    const QString name = QString::fromLatin1(chart);
    const QString device = field(port);
    for (const HistoryPoint& r : rows)
        out += name + QLatin1Char(',') + field(r.sj) + QLatin1Char(',') + QString::number(r.value, 'g', 15) +
               QLatin1Char(',') + device + QStringLiteral("\r\n");
}

}  // namespace

QByteArray curveCsv(const QVector<HistoryPoint>& hourRows, const QVector<HistoryPoint>& dayRows,
                    const QString& port) {
    QString text = QStringLiteral("chart,time,value,port\r\n");
    appendRows(text, "hour", hourRows, port);
    appendRows(text, "day", dayRows, port);
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace tarsyn::history
