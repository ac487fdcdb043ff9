#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarsyn::sim {

/// Line faults the simulator can play, to show how the program copes with a poor controller.
struct FaultOptions {
    bool noAnswer = false;  // requests are served but nothing is sent back
    int shortLength = -1;   // every reply cut to this many characters (negative: whole replies)
    bool garbage = false;   // a few noise characters go out before every reply
};

/// Applies the fault options to each reply on its way out; the noise follows the seed.
class ReplyShaper {
public:
    ReplyShaper(const FaultOptions& faults, quint32 seed)
        : m_faults(faults), m_state((seed * 2654435761u) | 1u) {}

    /// What goes on the line for `reply`: empty with noAnswer, else the reply cut to shortLength
    /// and, with garbage, preceded by one to four characters that are not hexadecimal digits.
    QByteArray shape(const QByteArray& reply);

private:
    quint32 next();

    FaultOptions m_faults;
    quint32 m_state;
};

}  // namespace tarsyn::sim
