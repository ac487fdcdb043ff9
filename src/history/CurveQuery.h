#pragma once

#include <QString>

#include "history/CurveData.h"

namespace tarsyn::link {
class Clock;
}

namespace tarsyn::history {

class HistoryStore;

/// The curves window's read of one chart: take now, purge the chart's table of every port's rows
/// older than the chart's start, read the selected column of the device's rows in time order and
/// summarise them. Both statements bind their values.
class CurveQuery {
public:
    CurveQuery(HistoryStore& store, const link::Clock& clock) : m_store(store), m_clock(clock) {}

    /// The chart of `channel` (0…19) for the device `port` (its remark as the recorder stores it).
    /// Raises HistoryError on a database failure, an unreadable time or a channel out of range.
    ChartData run(ChartKind kind, const QString& port, int channel);

    /// The rows of `channel` for `port` inside the chart's window as of now, without purging (the
    /// CSV export). Raises HistoryError.
    QVector<HistoryPoint> rows(ChartKind kind, const QString& port, int channel);

    /// Whether the store has a connection (a closed one has been reported when it failed).
    bool storeOpen() const;
    HistoryStore& store() { return m_store; }
    const link::Clock& clock() const { return m_clock; }

private:
    QDateTime now() const;
    void reopenIfLost();

    HistoryStore& m_store;
    const link::Clock& m_clock;
};

}  // namespace tarsyn::history
