#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "link/Clock.h"
#include "link/ReplyCheck.h"
#include "link/SerialPort.h"

namespace tarsyn::link {

/// What an exchange was for, told from its request: the poll's two block reads, a parameter page (or
/// report) read or write, an operating command or calibration, the controller's alarm log.
enum class FrameKind { Poll, Page, Command, AlarmLog };
constexpr int kFrameKindCount = 4;

/// The kind of `request` (without check and line end): function 05 and the calibration words
/// 0x0094-0x00A7 are commands, reads from 0x0200 on the alarm log, "000400060030" and "000400360016"
/// the poll, everything else a page.
FrameKind FrameKindOf(const QString& request);

/// One frame on the line, as the meter saw it.
struct FrameRecord {
    QDateTime time;
    QString port;
    bool sent = true;  ///< written by the program (false: read from the line)
    FrameKind kind = FrameKind::Page;
    QString text;  ///< as written or read, CR LF included
    /// Read frames: the check's verdict against the request it answers, and the milliseconds from that
    /// request's write to this read.
    ReplyVerdict verdict = ReplyVerdict::NoReply;
    qint64 durationMs = 0;
};

/// Hears every frame of a meter while it is attached (on the meter's thread).
class FrameListener {
public:
    virtual ~FrameListener() = default;
    virtual void frameSeen(const FrameRecord& frame) = 0;
};

/// What happened on one port over a span of time. A request is every frame written; each one that is
/// read answers to exactly one of: a complete reply, a timeout (nothing came), a short reply, a reply
/// that is not hexadecimal, or a check error (wrong station, function, count or echo, a bad check or
/// line end, a second frame behind it). A reopening is an open that succeeded after the port was lost
/// or would not open.
struct LinkTally {
    qint64 requests = 0;
    qint64 replies = 0;
    qint64 timeouts = 0;
    qint64 shortReplies = 0;
    qint64 checkErrors = 0;
    qint64 notHex = 0;
    qint64 reopenings = 0;
    /// Milliseconds from a request's write to the read of its complete reply (nearest rank); -1 when
    /// no complete reply came.
    qint64 medianMs = -1;
    qint64 p95Ms = -1;
};

/// One figure of a LinkTally as it is shown: its catalogue message, the English text where the
/// catalogue has none, and the name it has in JSON.
struct LinkTallyField {
    const char* key;
    const char* english;
    const char* json;
    qint64 LinkTally::*value;
};
/// The nine figures in the order they are shown.
const std::vector<LinkTallyField>& LinkTallyFields();

/// The line as the program uses it, counted: a SerialPort that hands every operation to the real port
/// and keeps, per port name, the tallies since start and for the last hour, and tells its frame
/// listener (when one is attached) of every frame. Without a listener no frame is copied: the cost is
/// a few counters per exchange. Used on the thread of the port it wraps.
class LinkMeter : public SerialPort {
public:
    LinkMeter(SerialPort& port, const Clock& clock) : m_port(port), m_clock(clock) {}

    void setPortName(const QString& name) override { m_port.setPortName(name); }
    QString portName() const override { return m_port.portName(); }
    void setLineSettings(const LineSettings& settings) override { m_port.setLineSettings(settings); }
    void OpenPort() override;
    void ClosePort() override;
    bool Connected() const override { return m_port.Connected(); }
    void PurgeQueues() override { m_port.PurgeQueues(); }
    void WriteText(const QString& text) override;
    QString ReadAvailable(int count) override;
    /// The reply read last, counted as complete, is counted as a check error instead.
    void replyRefused() override;

    /// Null detaches. The listener must outlive the meter or be detached first.
    void setFrameListener(FrameListener* listener) { m_listener = listener; }
    FrameListener* frameListener() const { return m_listener; }

    /// The ports written to or opened so far, in that order.
    QStringList ports() const { return m_order; }
    LinkTally sinceStart(const QString& port) const;
    /// The tally of the hour before now.
    LinkTally lastHour(const QString& port) const;

private:
    enum class Outcome : quint8 { Request, Reply, Timeout, Short, CheckError, NotHex, Reopening };
    struct Event {
        qint64 atMs;
        Outcome outcome;
        qint32 durationMs;
    };
    struct PortRecord {
        LinkTally total;
        std::vector<quint32> replyTimes;  // count per millisecond, the last slot for anything longer
        std::deque<Event> hour;
        bool reopenDue = false;  // lost or refused to open: the next good open is a reopening
    };
    PortRecord& record(const QString& port);
    void count(PortRecord& r, Outcome outcome, qint64 atMs, qint64 durationMs = 0);
    static void add(LinkTally& t, Outcome outcome);
    void tell(const QString& port, bool sent, const QString& text, ReplyVerdict verdict, qint64 durationMs);

    SerialPort& m_port;
    const Clock& m_clock;
    FrameListener* m_listener = nullptr;
    QHash<QString, PortRecord> m_records;
    QStringList m_order;
    // The request written last and not yet read.
    bool m_pending = false;
    QString m_pendingRequest;
    // The latest read counted as a complete reply, until the next write: refusable.
    bool m_lastWasReply = false;
    qint64 m_lastReplyMs = 0;
    QString m_pendingPort;
    qint64 m_pendingAtMs = 0;
    // The port this meter opened and has not closed: found closed at the next open, it was lost.
    QString m_openName;
    bool m_open = false;
};

}  // namespace tarsyn::link
