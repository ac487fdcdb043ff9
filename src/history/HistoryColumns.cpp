#include "history/HistoryColumns.h"

#include "link/LinkError.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"

namespace tarsyn::history {

QString tableName(HistoryTable table) {
    return table == HistoryTable::Day ? QStringLiteral("24xs") : QStringLiteral("nls");
}

QString stampText(const QDateTime& time) { return time.toString(QLatin1String(kStampFormat)); }

const std::array<HistoryColumn, kValueCount>& historyColumns() {
    // The live block's table says which field each column records and how it is scaled; here they
    // are only put in column order. The running hours, the four bit bytes and the unused word at 23
    // are not recorded.
    static const std::array<HistoryColumn, kValueCount> kColumns = [] {
        std::array<HistoryColumn, kValueCount> columns{};
        for (const monitor::BlockField& f : monitor::LiveValueFields()) {
            if (!f.historyColumn) continue;
            const int number = QByteArray(f.historyColumn).mid(2).toInt();  // "sj7" -> 7
            columns[size_t(number - 1)] = {f.historyColumn, f.position, f.width, f.divisor()};
        }
        return columns;
    }();
    return kColumns;
}

int valueColumnIndex(const QString& name) {
    const auto& cols = historyColumns();
    for (int i = 0; i < kValueCount; ++i)
        if (name == QLatin1String(cols[size_t(i)].name)) return i;
    return -1;
}

QString trimRemark(const QString& remark) {
    qsizetype begin = 0;
    qsizetype end = remark.size();
    while (begin < end && remark.at(begin).unicode() <= 32) ++begin;
    while (end > begin && remark.at(end - 1).unicode() <= 32) --end;
    return remark.mid(begin, end - begin);
}

HistoryRow rowFromReading(const monitor::LiveReading& reading, const QString& port, const QString& sj) {
    HistoryRow row;
    row.sj = sj;
    row.port = port;
    const std::vector<monitor::BlockField>& fields = monitor::LiveValueFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const monitor::BlockField& f = fields[i];
        if (!f.historyColumn) continue;
        // A recorded value must be whole: a field cut by the end of the reply, not hexadecimal, or
        // behind such a field is no value.
        const monitor::FieldValue& v = reading.values[i];
        if (!v.valid)
            throw link::ConversionError(QStringLiteral("The live reply has no value for %1 at position %2")
                                            .arg(QLatin1String(f.historyColumn))
                                            .arg(f.position));
        row.values[size_t(valueColumnIndex(QLatin1String(f.historyColumn)))] = v.value;
    }
    return row;
}

HistoryRow rowFromReply(const QString& reply, const QString& port, const QString& sj) {
    return rowFromReading(monitor::LiveReadingOf(reply), port, sj);
}

}  // namespace tarsyn::history
