#include "aware/LinkWatch.h"

namespace tarsyn::aware {

LinkWatch::Change LinkWatch::update(const TickState& s, const QDateTime& now) {
    Entry& e = m_entries[s.controller];
    if (s.linked) {
        const State before = e.state;
        e.state = State::Linked;
        e.lostSince = QDateTime();
        if (before == State::Lost) return Change::Regained;
        return before == State::NeverLinked ? Change::FirstLink : Change::None;
    }
    if (s.rotation && s.connectionStepRan) return Change::None;  // moving on, not losing
    if (e.state != State::Linked) return Change::None;
    e.state = State::Lost;
    e.lostSince = now;
    return Change::Lost;
}

LinkWatch::State LinkWatch::state(const QString& controller) const {
    return m_entries.value(controller).state;
}

QDateTime LinkWatch::lostSince(const QString& controller) const { return m_entries.value(controller).lostSince; }

bool NotifyLimiter::allow(const QString& controller, const QString& alarm, const QDateTime& now, int* repeats) {
    Entry& e = m_entries[controller + QLatin1Char('\n') + alarm];
    if (e.lastNotified.isValid() && e.lastNotified.secsTo(now) < kQuietSeconds) {
        ++e.heldBack;
        return false;
    }
    if (repeats) *repeats = e.heldBack;
    e.heldBack = 0;
    e.lastNotified = now;
    return true;
}

}  // namespace tarsyn::aware
