#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include "monitor/ReadingSubscriber.h"

namespace tarsyn::aware {

/// What the poll cycle looks like at the end of one tick.
struct TickState {
    QString controller;              ///< remark of the current entry
    bool linked = false;             ///< `ConnectionIndicator` shows linked
    bool rotation = false;           ///< `RotationMode`
    bool connectionStepRan = false;  ///< the tick opened, re-opened or rotated the port

    /// A tick's end as the cycle published it, the controller named by `controller` (its remark, or
    /// the port for those who keep the line's entries by port).
    static TickState of(const monitor::TickEnd& end, const QString& controller) {
        return {controller, end.linked, end.rotation, end.connectionStepRan};
    }
};

/// The link to each controller: never linked yet, linked, or lost since a time. A loss is a tick that
/// ends without link on a controller that was linked; in rotation mode the tick that moves to the next
/// entry closes the port by design and is no loss (the entry left keeps its state; the one reached is
/// judged from the next tick on).
class LinkWatch {
public:
    enum class State { NeverLinked, Linked, Lost };
    enum class Change { None, Lost, Regained, FirstLink };

    /// Takes one tick's state at `now`; returns what changed for state.controller.
    Change update(const TickState& state, const QDateTime& now);

    State state(const QString& controller) const;
    /// When the link to `controller` was lost (invalid unless Lost).
    QDateTime lostSince(const QString& controller) const;

private:
    struct Entry {
        State state = State::NeverLinked;
        QDateTime lostSince;
    };
    QHash<QString, Entry> m_entries;
};

/// Keeps a notification of a flapping alarm from repeating: the first rise of an alarm of a controller
/// notifies; later rises within the quiet period after the last notification are only counted, and the
/// first rise after it notifies again with that count.
class NotifyLimiter {
public:
    static constexpr int kQuietSeconds = 300;

    /// A rise of `alarm` on `controller` at `now`: true when it is to be notified; `repeats` then holds
    /// the rises held back since the previous notification.
    bool allow(const QString& controller, const QString& alarm, const QDateTime& now, int* repeats);

private:
    struct Entry {
        QDateTime lastNotified;
        int heldBack = 0;
    };
    QHash<QString, Entry> m_entries;  // controller + '\n' + alarm
};

}  // namespace tarsyn::aware
