#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tarsyn::sim {

/// Line faults the simulator can play, to show how the program copes with a poor controller or a
/// noisy line. Any number of them may be on at once.
struct FaultOptions {
    bool noAnswer = false;      // requests are served but nothing is sent back
    int shortLength = -1;       // every reply cut to this many characters (negative: whole replies)
    bool garbage = false;       // one to four characters that are not hexadecimal go out before every reply
    int noise = 0;              // this many hexadecimal digits go out before every reply
    bool changedDigit = false;  // one digit of every reply (data, count or check) is changed to another
    bool otherBlock = false;    // a block read is answered with another block of another size
    bool unasked = false;       // a well-formed frame nobody asked for goes out before every reply
    bool lateJoined = false;    // every other reply is held back and goes out joined to the next one
    bool foreignData = false;   // a block read is answered with the count asked for, of other bytes

    /// True when no fault is on.
    bool clean() const;
    /// The faults that are on, as the console shows them ("noise 3, digit"), or "clean".
    QString describe() const;
};

/// Applies the fault options to each request on its way in and each reply on its way out; the
/// noise and the changed digits follow the seed, so a run can be repeated.
class ReplyShaper {
public:
    ReplyShaper(const FaultOptions& faults, quint32 seed)
        : m_faults(faults), m_state((seed * 2654435761u) | 1u) {}

    void setFaults(const FaultOptions& faults);
    const FaultOptions& faults() const { return m_faults; }

    /// The request line the controller serves in place of `line` (without its line end): with
    /// otherBlock, a block read is turned into a read of the delay block (22 bytes from 0x0036),
    /// or of the live block (48 bytes from 0x0006) when the read was itself 22 bytes long.
    QByteArray redirect(const QByteArray& line) const;

    /// What goes on the line for `reply`: empty with noAnswer; with foreignData a block read's data
    /// bytes replaced by 0x90, 0x91, … (as another address would hold them) under a fresh check, so
    /// that station, function, count and check are all right; else the reply cut to shortLength,
    /// with one digit changed, preceded by the noise, the garbage and the unasked frame; with
    /// lateJoined every other one is held back (nothing goes out) and sent in front of the next.
    QByteArray shape(const QByteArray& reply);

    /// The frame sent unasked: a well-formed reply to a one-byte read, which the program never makes.
    static QByteArray unaskedFrame();

private:
    quint32 next();

    FaultOptions m_faults;
    quint32 m_state;
    QByteArray m_held;  // a reply held back by lateJoined
    bool m_holding = false;
};

/// The console's line-fault commands; true when `line` was one of them (then `reply` says what the
/// faults are now, or what was wrong with the command):
///   line clean                      every fault off
///   line noise N                    N hexadecimal digits before every reply (0: off)
///   line short N | line short off   cut every reply to N characters
///   line garbage|digit|other|unasked|late|silent|foreign on|off
bool FaultCommand(const QString& line, FaultOptions& faults, QString* reply);

}  // namespace tarsyn::sim
