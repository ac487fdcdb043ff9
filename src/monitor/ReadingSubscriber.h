#pragma once

#include <QDateTime>
#include <QString>

#include "monitor/LiveReading.h"

namespace tarsyn::monitor {

/// The connection indicator changed between linked and not linked.
struct LinkChange {
    QString remark;  ///< the current entry's remark
    QString port;
    bool linked = false;
    QDateTime time;
};

/// What the poll cycle looks like when a tick is over.
struct TickEnd {
    QString remark;  ///< the current entry's remark
    QString port;
    bool linked = false;             ///< `ConnectionIndicator` shows linked and the controller has answered
    bool rotation = false;           ///< `RotationMode`
    bool connectionStepRan = false;  ///< the refresh time moved since the previous tick's end
    QDateTime time;
};

/// One consumer of what a line's poll cycle reads. The cycle calls its subscribers one after the other
/// in the order they were added (PollCycle::addSubscriber), on the thread that runs the cycle; none
/// waits for a Qt connection. A subscriber that throws from readingArrived ends that tick's step and
/// the error is reported like every unguarded failure (tickFailed); linkChanged and tickEnded must not
/// throw (an error there is dropped).
class ReadingSubscriber {
public:
    virtual ~ReadingSubscriber() = default;

    /// A reply of `block` passed its check against the request written and was decoded into
    /// `reading`, the controller's state with that block's fields new; `reply` is the text as read,
    /// for those whose rules are about the characters themselves (the history recorder).
    virtual void readingArrived(const LiveReading& reading, ReplyBlock block, const QString& reply) {
        (void)reading;
        (void)block;
        (void)reply;
    }
    /// The link of the current entry went up or down.
    virtual void linkChanged(const LinkChange& change) { (void)change; }
    /// The tick is over (after every reading and link change of it).
    virtual void tickEnded(const TickEnd& end) { (void)end; }
};

}  // namespace tarsyn::monitor
