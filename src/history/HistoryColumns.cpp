#include "history/HistoryColumns.h"

#include "link/Codec.h"
#include "link/LinkError.h"

namespace tarsyn::history {

QString tableName(HistoryTable table) {
    return table == HistoryTable::Day ? QStringLiteral("24xs") : QStringLiteral("nls");
}

QString stampText(const QDateTime& time) { return time.toString(QLatin1String(kStampFormat)); }

const std::array<HistoryColumn, kValueCount>& historyColumns() {
    // Positions in the live reply: data byte k of the block is at 7+2k; the running hours (39),
    // the four bit bytes (47-53) and the unused word at 23 are not recorded.
    static const std::array<HistoryColumn, kValueCount> kColumns = {{
        {"sj1", 67, 4, 1},     // generator voltage A
        {"sj2", 71, 4, 1},     // generator voltage B
        {"sj3", 75, 4, 1},     // generator voltage C
        {"sj4", 55, 4, 1},     // current A
        {"sj5", 59, 4, 1},     // current B
        {"sj6", 63, 4, 1},     // current C
        {"sj7", 91, 4, 10},    // battery voltage
        {"sj8", 19, 4, 10},    // mains frequency
        {"sj9", 95, 4, 10},    // generator frequency
        {"sj10", 99, 4, 1},    // engine speed
        {"sj11", 79, 4, 1},    // water temperature
        {"sj12", 27, 4, 1},    // water temperature 2
        {"sj13", 83, 4, 1},    // oil pressure
        {"sj14", 31, 4, 1},    // oil pressure 2
        {"sj15", 35, 4, 10},   // power
        {"sj16", 87, 4, 1},    // oil temperature / oil level reading
        {"sj17", 45, 2, 100},  // power factor
        {"sj18", 7, 4, 1},     // mains voltage A
        {"sj19", 11, 4, 1},    // mains voltage B
        {"sj20", 15, 4, 1},    // mains voltage C
    }};
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

HistoryRow rowFromReply(const QString& reply, const QString& port, const QString& sj) {
    HistoryRow row;
    row.sj = sj;
    row.port = port;
    const auto& cols = historyColumns();
    for (size_t i = 0; i < cols.size(); ++i) {
        const HistoryColumn& c = cols[i];
        // HexField reads a field cut by the end of the reply as far as it goes; a recorded value
        // must be whole, so a short field is as bad as a non-hexadecimal one.
        if (c.position + c.width - 1 > reply.size())
            throw link::ConversionError(QStringLiteral("Live reply too short for %1 at position %2")
                                            .arg(QLatin1String(c.name))
                                            .arg(c.position));
        const quint32 raw = link::HexField(reply, c.position, c.width);
        row.values[i] = c.isReal() ? double(raw) / c.divisor : double(raw);
    }
    return row;
}

}  // namespace tarsyn::history
