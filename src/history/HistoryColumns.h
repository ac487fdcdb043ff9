#pragma once

#include <QDateTime>
#include <QString>
#include <array>

namespace tarsyn::monitor {
struct LiveReading;
}

namespace tarsyn::history {

/// The two rolling histories: "24xs" keeps a day at a cadence of minutes, "nls" an hour at seconds.
enum class HistoryTable { Day, Hour };

/// "24xs" or "nls".
QString tableName(HistoryTable table);

/// Time stamps are stored as this text; fixed width, most significant part first, so text order is
/// time order and the purge can compare texts.
inline constexpr const char* kStampFormat = "yyyy-MM-dd HH:mm:ss";
QString stampText(const QDateTime& time);

/// One recorded value: history column, where it sits in the live reply (1-based position, width in
/// characters) and the divisor applied before storing (1 = stored as an integer); a view of the live
/// block's table (monitor/LiveMap.h) in column order.
struct HistoryColumn {
    const char* name;
    int position;
    int width;
    int divisor;
    bool isReal() const { return divisor != 1; }
};

inline constexpr int kValueCount = 20;

/// "sj1" to "sj20" in column order, taken from the 48-byte live block read from 0x0006.
const std::array<HistoryColumn, kValueCount>& historyColumns();

/// Index 0-19 of a value column by its name ("sj1"…"sj20"), or -1.
int valueColumnIndex(const QString& name);

/// One row of either table.
struct HistoryRow {
    QString sj;                                ///< "yyyy-MM-dd HH:mm:ss"
    QString port;                              ///< the port entry's remark, trimmed
    std::array<double, kValueCount> values{};  ///< sj1…sj20; integer columns hold whole numbers
};

/// One value of one row, for a chart.
struct HistoryPoint {
    QString sj;
    double value = 0;
};

/// The remark without leading and trailing characters of code 32 or below (blanks, tabs, control
/// characters); whatever is inside stays as it is.
QString trimRemark(const QString& remark);

/// The row of a decoded live reply: the 20 recorded values as the reading has them. Raises
/// link::ConversionError when one of them was not decoded (not hexadecimal, cut by the end of the
/// reply, or behind such a field).
HistoryRow rowFromReading(const monitor::LiveReading& reading, const QString& port, const QString& sj);
/// The row for a live reply: rowFromReading of its decoding.
HistoryRow rowFromReply(const QString& reply, const QString& port, const QString& sj);

}  // namespace tarsyn::history
