#include "link/LinkMeter.h"

#include <algorithm>
#include <cstdint>

namespace tarsyn::link {

namespace {

// Reply times are kept to the millisecond up to ten seconds; a longer one counts as ten seconds.
constexpr int kReplyTimeSlots = 10001;
constexpr qint64 kHourMs = 3600 * 1000;

// Nearest rank: the smallest time that at least `percent` of the replies did not exceed.
qint64 rankOf(qint64 count, int percent) { return std::max<qint64>(1, (count * percent + 99) / 100); }

}  // namespace

const std::vector<LinkTallyField>& LinkTallyFields() {
    static const std::vector<LinkTallyField> fields = {
        {"dgrequests", "Requests", "requests", &LinkTally::requests},
        {"dgreplies", "Complete replies", "replies", &LinkTally::replies},
        {"dgtimeouts", "Timeouts", "timeouts", &LinkTally::timeouts},
        {"dgshort", "Short replies", "shortReplies", &LinkTally::shortReplies},
        {"dgcheck", "Check errors", "checkErrors", &LinkTally::checkErrors},
        {"dgnothex", "Non-hexadecimal replies", "notHex", &LinkTally::notHex},
        {"dgreopen", "Port reopenings", "reopenings", &LinkTally::reopenings},
        {"dgmedian", "Median reply time (ms)", "medianMs", &LinkTally::medianMs},
        {"dgp95", "95th percentile reply time (ms)", "p95Ms", &LinkTally::p95Ms},
    };
    return fields;
}

FrameKind FrameKindOf(const QString& request) {
    const QString function = request.mid(2, 2);
    bool ok = false;
    const int address = request.mid(4, 4).toInt(&ok, 16);
    if (function == QLatin1String("05")) return FrameKind::Command;
    if ((function == QLatin1String("06") || function == QLatin1String("07")) && ok && address >= 0x0094 &&
        address <= 0x00A7)
        return FrameKind::Command;  // a calibration word
    if (function == QLatin1String("04") && ok) {
        if (address >= 0x0200) return FrameKind::AlarmLog;
        if (request == QLatin1String("000400060030") || request == QLatin1String("000400360016"))
            return FrameKind::Poll;
    }
    return FrameKind::Page;
}

LinkMeter::PortRecord& LinkMeter::record(const QString& port) {
    auto it = m_records.find(port);
    if (it == m_records.end()) {
        m_order << port;
        it = m_records.insert(port, PortRecord{});
        it->replyTimes.assign(kReplyTimeSlots, 0);
    }
    return *it;
}

void LinkMeter::add(LinkTally& t, Outcome outcome) {
    switch (outcome) {
        case Outcome::Request:
            ++t.requests;
            break;
        case Outcome::Reply:
            ++t.replies;
            break;
        case Outcome::Timeout:
            ++t.timeouts;
            break;
        case Outcome::Short:
            ++t.shortReplies;
            break;
        case Outcome::CheckError:
            ++t.checkErrors;
            break;
        case Outcome::NotHex:
            ++t.notHex;
            break;
        case Outcome::Reopening:
            ++t.reopenings;
            break;
    }
}

void LinkMeter::count(PortRecord& r, Outcome outcome, qint64 atMs, qint64 durationMs) {
    add(r.total, outcome);
    if (outcome == Outcome::Reply)
        ++r.replyTimes[size_t(std::clamp<qint64>(durationMs, 0, kReplyTimeSlots - 1))];
    while (!r.hour.empty() && r.hour.front().atMs <= atMs - kHourMs) r.hour.pop_front();
    r.hour.push_back({atMs, outcome, qint32(std::min<qint64>(durationMs, INT32_MAX))});
}

void LinkMeter::tell(const QString& port, bool sent, const QString& text, ReplyVerdict verdict,
                     qint64 durationMs) {
    FrameRecord frame;
    frame.time = m_clock.now();
    frame.port = port;
    frame.sent = sent;
    frame.kind = FrameKindOf(m_pendingRequest);
    frame.text = text;
    frame.verdict = verdict;
    frame.durationMs = durationMs;
    m_listener->frameSeen(frame);
}

void LinkMeter::OpenPort() {
    // An open port is handed the call all the same (it does nothing), but nothing is counted.
    const bool wasOpen = m_port.Connected();
    // Opened by this meter, never closed through it, and found closed now: the device was lost.
    if (!wasOpen && m_open && m_records.contains(m_openName)) m_records[m_openName].reopenDue = true;
    const QString name = m_port.portName();
    try {
        m_port.OpenPort();
    } catch (...) {
        if (!wasOpen) {
            record(name).reopenDue = true;
            m_open = false;
        }
        throw;
    }
    if (wasOpen) return;
    PortRecord& r = record(name);
    if (r.reopenDue) {
        r.reopenDue = false;
        count(r, Outcome::Reopening, m_clock.now().toMSecsSinceEpoch());
    }
    m_openName = name;
    m_open = true;
}

void LinkMeter::ClosePort() {
    m_port.ClosePort();
    m_open = false;
}

void LinkMeter::WriteText(const QString& text) {
    m_port.WriteText(text);
    const QDateTime now = m_clock.now();
    m_pending = true;
    m_pendingPort = m_port.portName();
    // The frame is the request, its two check characters and CR LF.
    m_pendingRequest = text.endsWith(QLatin1String("\r\n")) ? text.left(text.size() - 4) : text;
    m_pendingAtMs = now.toMSecsSinceEpoch();
    m_lastWasReply = false;
    count(record(m_pendingPort), Outcome::Request, m_pendingAtMs);
    if (m_listener) tell(m_pendingPort, true, text, ReplyVerdict::NoReply, 0);
}

QString LinkMeter::ReadAvailable(int count) {
    const QString reply = m_port.ReadAvailable(count);
    if (!m_pending) return reply;
    m_pending = false;
    const qint64 atMs = m_clock.now().toMSecsSinceEpoch();
    const qint64 duration = atMs - m_pendingAtMs;
    const ReplyVerdict verdict = CheckReply(reply, m_pendingRequest);
    Outcome outcome = Outcome::CheckError;
    switch (verdict) {
        case ReplyVerdict::Ok:
            outcome = Outcome::Reply;
            break;
        case ReplyVerdict::NoReply:
            outcome = Outcome::Timeout;
            break;
        case ReplyVerdict::Short:
            outcome = Outcome::Short;
            break;
        case ReplyVerdict::NotHex:
            outcome = Outcome::NotHex;
            break;
        default:
            break;
    }
    this->count(record(m_pendingPort), outcome, atMs, duration);
    m_lastWasReply = outcome == Outcome::Reply;
    m_lastReplyMs = duration;
    if (m_listener) tell(m_pendingPort, false, reply, verdict, duration);
    return reply;
}

void LinkMeter::replyRefused() {
    if (!m_lastWasReply) return;
    m_lastWasReply = false;
    PortRecord& r = record(m_pendingPort);
    // The reply was counted (and its time kept) when it was read: it moves to the check errors.
    --r.total.replies;
    ++r.total.checkErrors;
    quint32& slot = r.replyTimes[size_t(std::clamp<qint64>(m_lastReplyMs, 0, kReplyTimeSlots - 1))];
    if (slot > 0) --slot;
    for (auto it = r.hour.rbegin(); it != r.hour.rend(); ++it)
        if (it->outcome == Outcome::Reply) {
            it->outcome = Outcome::CheckError;
            break;
        }
    if (m_listener) tell(m_pendingPort, false, QString(), ReplyVerdict::OutOfRange, m_lastReplyMs);
}

LinkTally LinkMeter::sinceStart(const QString& port) const {
    const auto it = m_records.constFind(port);
    if (it == m_records.cend()) return {};
    LinkTally t = it->total;
    if (t.replies == 0) return t;
    const qint64 medianRank = rankOf(t.replies, 50), p95Rank = rankOf(t.replies, 95);
    qint64 seen = 0;
    for (size_t ms = 0; ms < it->replyTimes.size(); ++ms) {
        seen += it->replyTimes[ms];
        if (t.medianMs < 0 && seen >= medianRank) t.medianMs = qint64(ms);
        if (seen >= p95Rank) {
            t.p95Ms = qint64(ms);
            break;
        }
    }
    return t;
}

LinkTally LinkMeter::lastHour(const QString& port) const {
    const auto it = m_records.constFind(port);
    if (it == m_records.cend()) return {};
    const qint64 since = m_clock.now().toMSecsSinceEpoch() - kHourMs;
    LinkTally t;
    std::vector<qint64> times;
    for (const Event& e : it->hour) {
        if (e.atMs <= since) continue;
        add(t, e.outcome);
        if (e.outcome == Outcome::Reply) times.push_back(e.durationMs);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const qint64 n = qint64(times.size());
        t.medianMs = times[size_t(rankOf(n, 50) - 1)];
        t.p95Ms = times[size_t(rankOf(n, 95) - 1)];
    }
    return t;
}

}  // namespace tarsyn::link
