#include "history/CurveQuery.h"

#include "history/HistoryStore.h"
#include "link/Clock.h"

namespace tarsyn::history {

namespace {

QString requireColumn(int channel) {
    const QString column = channelColumn(channel);
    if (column.isEmpty()) throw HistoryError(QStringLiteral("There is no curve channel %1").arg(channel));
    return column;
}

}  // namespace

QDateTime CurveQuery::now() const {
    // Whole seconds: the stamps have no fraction, and the start is compared as text.
    QDateTime now = m_clock.now();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

void CurveQuery::reopenIfLost() {
    // The recorder writes on a connection of its own, so nothing else brings this one back after an
    // outage; at an operator's request a round trip is cheap.
    if (!m_store.isOpen() || !m_store.ping()) m_store.connect();
}

ChartData CurveQuery::run(ChartKind kind, const QString& port, int channel) {
    const QString column = requireColumn(channel);
    reopenIfLost();
    const QDateTime now = this->now();
    const QDateTime start = now.addSecs(-chartSpanSeconds(kind));
    const HistoryTable table = chartTable(kind);
    m_store.purgeBefore(table, start);
    // After the purge every row of the table is at or after the start; asking for that again lets the
    // ("port","sj") index hand over exactly the device's rows in order.
    return buildChart(kind, now, m_store.columnSince(table, port, start, column));
}

QVector<HistoryPoint> CurveQuery::rows(ChartKind kind, const QString& port, int channel) {
    const QString column = requireColumn(channel);
    reopenIfLost();
    return m_store.columnSince(chartTable(kind), port, now().addSecs(-chartSpanSeconds(kind)), column);
}

bool CurveQuery::storeOpen() const { return m_store.isOpen(); }

}  // namespace tarsyn::history
