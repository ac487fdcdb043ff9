#pragma once

#include <QDateTime>
#include <QList>

#include "link/Clock.h"

namespace tarsyn::test {

/// A clock that moves only when told; starts at 2026-03-01 12:00:00 local time.
class FakeClock : public link::Clock {
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    void advanceSecs(qint64 s) { m_now = m_now.addSecs(s); }

private:
    QDateTime m_now{QDate(2026, 3, 1), QTime(12, 0, 0)};
};

/// Records every wait and, when given a clock, moves it by the time slept; never really sleeps.
class FakeSleeper : public link::Sleeper {
public:
    explicit FakeSleeper(FakeClock* clock = nullptr) : m_clock(clock) {}
    void sleep(int ms) override {
        sleeps << ms;
        total += ms;
        if (m_clock) m_clock->advanceMs(ms);
    }
    QList<int> sleeps;
    qint64 total = 0;

private:
    FakeClock* m_clock;
};

}  // namespace tarsyn::test
