#include "monitor/PollCycle.h"

#include <algorithm>
#include <exception>

#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "link/LineSettings.h"
#include "link/LinkError.h"
#include "link/ReplyCheck.h"
#include "monitor/HistorySink.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveView.h"
#include "monitor/PortProblem.h"

namespace tarsyn::monitor {

namespace {

// The controller (or the USB adapter) needs a moment after an open before it answers.
constexpr int kSettleAfterOpenMs = 300;
// A rotation stays on a controller until it has both blocks, or until two rounds of both requests
// went unanswered: opened with the delay request at tick 0, the replies are read at ticks 1 and 2 (and
// once more at 3 and 4), so the move comes at tick 3 at the earliest and tick 5 at the latest.
constexpr int kVisitGiveUpTicks = 5;

QString describe(const std::exception& e) {
    if (const auto* link = dynamic_cast<const link::LinkError*>(&e)) return link->message();
    return QString::fromUtf8(e.what());
}

// One restartable request/reply step: every error is swallowed; the connection indicator is the
// only sign of trouble and the next tick tries again.
template <typename Step>
void guarded(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

PollCycle::PollCycle(link::SerialPort& port, link::Sleeper& sleeper, const link::Clock& clock,
                     const config::LiveSettings& settings, const config::Messages& messages, LiveView& view,
                     QObject* parent)
    : QObject(parent),
      m_port(port),
      m_sleeper(sleeper),
      m_clock(clock),
      m_settings(settings),
      m_messages(messages),
      m_view(view) {
    m_timer.setParent(this);  // findable as `tmr1` under the window; still destroyed as a member first
    m_timer.setObjectName(QStringLiteral("tmr1"));
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &PollCycle::tick);
}

void PollCycle::initialise(bool portsConfigured) {
    m_portIndex = portsConfigured ? 0 : -1;
    m_sentPortIndex = 0;
    m_rotationMode = false;
    m_pollState = 1;
    m_nextRefreshTime = QDateTime();
    m_portsGone = false;
    showMode();
    setConnectionIndicator(m_connectionImage);
}

void PollCycle::tick() {
    // A tick never runs inside another (a sleeper or recorder that lets events run could re-enter);
    // the error is reported after the tick is over, so ticks keep running while its box is open.
    if (m_inTick) return;
    m_inTick = true;
    QString error;
    try {
        error = runTick();
    } catch (const std::exception& e) {
        error = describe(e);
    } catch (...) {
        error = QStringLiteral("Unknown error in the poll cycle");
    }
    m_inTick = false;
    publishTickEnd();
    // A fault that persists (a refresh time that is not a number, a database that stays locked) is
    // reported once, not by a box every second; a clean tick or a different fault reports again.
    if (error.isEmpty() || error == m_lastError) {
        m_lastError = error;
        return;
    }
    m_lastError = error;
    emit tickFailed(error);
}

QString PollCycle::runTick() {
    // A port that closed itself (device lost) is no link, even before the next connection step
    // reopens it: the commands gate on this picture.
    if (m_connectionImage == kLinkedImage && !m_port.Connected()) setConnectionIndicator(kNotLinkedImage);
    if (m_portIndex >= 0 && handleEmptyPortList()) return {};

    if (m_visit.open) ++m_visit.ticks;

    // Step 1: connection, once per refresh interval; in rotation only once the controller visited
    // has been read (see visitUnfinished), so a short refresh time never leaves a set half read.
    const QDateTime now = m_clock.now();
    if (m_portIndex >= 0 && (!m_nextRefreshTime.isValid() || now > m_nextRefreshTime) && !visitUnfinished()) {
        const QString refresh = m_settings.refreshText();
        bool ok = false;
        const int seconds = refresh.trimmed().toInt(&ok);
        if (!ok)
            return QStringLiteral("The refresh time '%1' is not a whole number of seconds.").arg(refresh);
        m_nextRefreshTime = now.addSecs(seconds);
        connectionStep();
        showEntry();
    }

    // Steps 2 and 3: the reply to the request of the tick before (live in state 4, delay in state 2),
    // then its delivery outside the guard.
    if ((m_pollState == 4 || m_pollState == 2) && m_port.Connected() && m_sentPortIndex == m_portIndex) {
        const ReplyBlock block = m_pollState == 4 ? ReplyBlock::Live : ReplyBlock::Delay;
        QString reply;
        bool accepted = false;
        guarded([&] { readReply(block, reply, accepted); });
        if (accepted) {
            try {
                publish(block, reply);
            } catch (const std::exception& e) {
                return describe(e);
            }
        }
    }

    // Steps 4 and 5: the next request, so that every tick reads one reply and writes one request.
    if (m_pollState == 3 && m_port.Connected()) guarded([&] { sendLiveRequest(); });
    if (m_pollState == 1 && m_port.Connected()) guarded([&] { sendDelayRequest(); });
    return {};
}

bool PollCycle::handleEmptyPortList() {
    if (!m_settings.ports().isEmpty()) {
        if (m_portsGone) m_nextRefreshTime = QDateTime();  // entries are back: connect at once
        return false;
    }
    if (m_portsGone) return true;
    // The entry being polled was removed: let its port go and show that nothing is linked.
    m_portsGone = true;
    guarded([&] { m_port.ClosePort(); });
    ClearLiveDisplay();
    setConnectionIndicator(kNotLinkedImage);
    m_view.setEntryTexts(QString(), QString(), QString());
    m_view.setPortProblem(QString());
    showMode();
    m_pollState = 1;
    return true;
}

void PollCycle::connectionStep() {
    if (m_rotationMode)
        rotateToNextEntry();
    else
        reopenFixedEntry();
    m_portsGone = false;
}

bool PollCycle::visitUnfinished() const {
    if (!m_rotationMode || !m_visit.open || !m_port.Connected()) return false;
    const bool bothRead = m_visit.delayRead && m_visit.liveRead;
    return !bothRead && m_visit.ticks < kVisitGiveUpTicks;
}

void PollCycle::rotateToNextEntry() {
    m_visit = Visit();
    guarded([&] {
        ClearLiveDisplay();
        if (m_port.Connected()) m_port.ClosePort();
        setConnectionIndicator(kNotLinkedImage);
        guarded([&] {
            int next = m_portsGone ? 0 : m_portIndex + 1;
            if (next >= m_settings.ports().size()) next = 0;
            openEntry(next);  // moves PortIndex first: a port that fails to open is left behind
            m_visit.open = true;
        });
        m_pollState = 1;
    });
}

void PollCycle::reopenFixedEntry() {
    const int count = m_settings.ports().size();
    if (m_port.Connected() && m_portIndex >= count) {
        // The list shrank under the open entry: its port is no longer configured.
        guarded([&] { m_port.ClosePort(); });
    }
    if (m_port.Connected()) return;
    // A port that is not open is not a link, whatever the last reply was.
    setConnectionIndicator(kNotLinkedImage);
    guarded([&] {
        ClearLiveDisplay();
        openEntry(m_portsGone || m_portIndex >= count ? 0 : m_portIndex);
        m_pollState = 1;
    });
}

void PollCycle::openEntry(int index) {
    const QVector<config::PortEntry> ports = m_settings.ports();
    m_portIndex = index;
    if (index < 0 || index >= ports.size())
        throw link::SerialError(QStringLiteral("No port entry %1 in the port list").arg(index));
    m_port.setPortName(ports.at(index).port);
    m_port.setLineSettings(link::LineSettings::fromTexts("2400", "8", "1", "none"));
    try {
        m_port.OpenPort();
    } catch (const link::SerialError& e) {
        // No box (the step retries every refresh interval), but the status strip says why.
        m_view.setPortProblem(PortProblemText(m_messages, ports.at(index).port, e));
        throw;
    }
    m_view.setPortProblem(QString());
    m_sleeper.sleep(kSettleAfterOpenMs);
}

void PollCycle::showEntry() {
    const QVector<config::PortEntry> ports = m_settings.ports();
    if (m_portIndex >= 0 && m_portIndex < ports.size()) {
        const config::PortEntry& e = ports.at(m_portIndex);
        m_view.setEntryTexts(e.port, e.remark, e.notes);
    } else {
        m_view.setEntryTexts(QString(), QString(), QString());
    }
    showMode();
}

void PollCycle::readReply(ReplyBlock block, QString& reply, bool& accepted) {
    reply = m_port.ReadAvailable(BlockReadCount(block));
    m_port.PurgeQueues();  // whatever came late must not be taken for the next reply
    // After the live reply the delay request goes out, after the delay reply the live request.
    m_pollState = block == ReplyBlock::Live ? 1 : 3;
    // A reply is used only when it passes its check against the request written the tick before, so
    // a reply for the other block is never shown. One that fails counts as no reply: the indicator
    // says so, nothing is shown, recorded or looked at for alarms.
    m_lastVerdict = link::CheckReply(reply, BlockRequest(block));
    // A whole frame may still carry another block's bytes (a reply names no address): one whose
    // values lie outside what the set can show is refused the same way, and counted as a check error.
    if (m_lastVerdict == link::ReplyVerdict::Ok && FirstOutOfRange(reply, block)) {
        m_lastVerdict = link::ReplyVerdict::OutOfRange;
        m_port.replyRefused();
    }
    accepted = m_lastVerdict == link::ReplyVerdict::Ok;
    m_answered = accepted;
    if (!accepted) {
        setConnectionIndicator(kNotLinkedImage);
        return;
    }
    setConnectionIndicator(kLinkedImage);
    (block == ReplyBlock::Live ? m_visit.liveRead : m_visit.delayRead) = true;
    takeReply(block, reply);
}

void PollCycle::takeReply(ReplyBlock block, const QString& reply) {
    // Decoded once; the view shows it at once, as a spoilt field stops the display there.
    m_reading.time = m_clock.now();
    m_reading.remark = m_view.remarkText();
    m_reading.port = m_port.portName();
    if (block == ReplyBlock::Live) {
        DecodeLiveReply(reply, m_reading);
        LiveDecoder::showLive(m_reading, m_view);
    } else {
        DecodeDelayReply(reply, m_reading);
        LiveDecoder::showDelays(m_reading, m_view);
    }
}

void PollCycle::publish(ReplyBlock block, const QString& reply) {
    // Outside the step's guard: a subscriber's failure (the database) is the tick's error, as the
    // recording always was.
    for (ReadingSubscriber* s : std::vector<ReadingSubscriber*>(m_subscribers))
        s->readingArrived(m_reading, block, reply);
    if (block == ReplyBlock::Live && m_history) m_history->recordLiveReply(reply, m_reading.remark);
}

void PollCycle::publishTickEnd() {
    TickEnd end;
    end.remark = m_view.remarkText();
    end.port = m_port.portName();
    // A port shown as linked at once as it is chosen has not answered yet: no link to lose.
    end.linked = answering();
    end.rotation = m_rotationMode;
    end.connectionStepRan = m_nextRefreshTime != m_refreshAtLastTickEnd;
    end.time = m_clock.now();
    m_refreshAtLastTickEnd = m_nextRefreshTime;
    for (ReadingSubscriber* s : std::vector<ReadingSubscriber*>(m_subscribers))
        guarded([&] { s->tickEnded(end); });
}

void PollCycle::addSubscriber(ReadingSubscriber* subscriber) {
    if (subscriber &&
        std::find(m_subscribers.begin(), m_subscribers.end(), subscriber) == m_subscribers.end())
        m_subscribers.push_back(subscriber);
}

void PollCycle::removeSubscriber(ReadingSubscriber* subscriber) {
    m_subscribers.erase(std::remove(m_subscribers.begin(), m_subscribers.end(), subscriber),
                        m_subscribers.end());
}

void PollCycle::sendLiveRequest() {
    m_port.PurgeQueues();
    m_port.WriteText(link::BuildFrame(BlockRequest(ReplyBlock::Live)));
    m_pollState = 4;
    m_sentPortIndex = m_portIndex;
}

void PollCycle::sendDelayRequest() {
    m_port.PurgeQueues();
    m_port.WriteText(link::BuildFrame(BlockRequest(ReplyBlock::Delay)));
    m_pollState = 2;
    m_sentPortIndex = m_portIndex;
}

void PollCycle::toggleRotationMode() {
    m_rotationMode = !m_rotationMode;
    showMode();
}

void PollCycle::setRotationMode(bool on) {
    m_rotationMode = on;
    showMode();
}

void PollCycle::ClearLiveDisplay() {
    // What the reading says is what the window shows: nothing, until the next reply.
    const LiveReading cleared;
    m_reading.values = cleared.values;
    m_reading.delays = cleared.delays;
    m_reading.bitBytes = cleared.bitBytes;
    LiveDecoder::clear(m_view);
}

void PollCycle::setConnectionIndicator(int image) {
    const bool was = linked();
    m_connectionImage = image;
    if (image != kLinkedImage) m_answered = false;
    m_view.setConnectionImage(image);
    if (was == linked()) return;
    LinkChange change;
    change.remark = m_view.remarkText();
    change.port = m_port.portName();
    change.linked = linked();
    change.time = m_clock.now();
    m_reading.linked = change.linked;
    m_reading.linkChangedAt = change.time;
    for (ReadingSubscriber* s : std::vector<ReadingSubscriber*>(m_subscribers))
        guarded([&] { s->linkChanged(change); });
}

void PollCycle::showMode() {
    m_view.setMode(m_messages.text(m_rotationMode ? QStringLiteral("lxsb") : QStringLiteral("gdsb")),
                   m_rotationMode);
}

}  // namespace tarsyn::monitor
