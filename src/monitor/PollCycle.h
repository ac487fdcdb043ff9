#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <vector>

#include "link/Clock.h"
#include "link/ReplyCheck.h"
#include "link/SerialPort.h"
#include "monitor/LiveReading.h"
#include "monitor/PollControl.h"
#include "monitor/ReadingSubscriber.h"

namespace tarsyn::config {
class LiveSettings;
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::monitor {

class HistorySink;
class LiveView;

/// Images of the connection-state button `dport1`.
constexpr int kNotLinkedImage = 2;
constexpr int kLinkedImage = 7;
/// Images of the connection-mode button `dport2`.
constexpr int kRotationModeImage = 0;
constexpr int kFixedModeImage = 1;

/// The one-second poll of one line: keeps the link open, alternately asks for the delay block
/// (0x0036, 22 bytes) and the live block (0x0006, 48 bytes), reads each reply one tick later and,
/// when it passes link::CheckReply against the request written and every field lies in its physical
/// range (FirstOutOfRange), decodes it once into the current entry's LiveReading and hands that on; a
/// reply that fails either is a missing reply (connection indicator "not linked", the port told with
/// replyRefused when only the range failed). In rotation mode it stays on each controller it opens
/// until both blocks have been read, however short the refresh time, giving up after two unanswered
/// rounds. It never waits except 300 ms after an open. Other windows that talk to the controller stop
/// the timer, exchange, then set PollState to 1 and start the timer again.
///
/// Who hears of a reading, in this order, whatever the order of Qt connections: first the view the
/// cycle was built with (its panels and indicators, inside the step's guard, as the display always
/// was), then every subscriber in the order it was added, then the history sink if one is set. A
/// link change goes to the subscribers when the indicator changes; the end of each tick goes to them
/// before a failure of that tick is reported.
class PollCycle : public QObject, public PollControl {
    Q_OBJECT
public:
    PollCycle(link::SerialPort& port, link::Sleeper& sleeper, const link::Clock& clock,
              const config::LiveSettings& settings, const config::Messages& messages, LiveView& view,
              QObject* parent = nullptr);

    /// Start-up state: PortIndex 0 (or -1 when no port is configured), fixed mode, PollState 1.
    void initialise(bool portsConfigured);

    /// One tick of `tmr1` (the whole cycle). Unguarded failures are reported through tickFailed.
    void tick();

    QTimer& timer() { return m_timer; }  ///< `tmr1`, 1000 ms
    void stopTimer() { m_timer.stop(); }
    void startTimer() { m_timer.start(); }

    /// The mode toggle on `dport2`: flips RotationMode and shows the mode at once.
    void toggleRotationMode();
    /// Every value panel to "0", every indicator to image 0.
    void ClearLiveDisplay();

    int PollState() const { return m_pollState; }
    void setPollState(int s) override { m_pollState = s; }
    int PortIndex() const { return m_portIndex; }
    void setPortIndex(int i) { m_portIndex = i; }
    int SentPortIndex() const { return m_sentPortIndex; }
    bool RotationMode() const override { return m_rotationMode; }
    void setRotationMode(bool on);
    int ConnectionIndicator() const { return m_connectionImage; }
    void setConnectionIndicator(int image);
    bool linked() const override { return m_connectionImage == kLinkedImage; }
    /// Linked, and the controller has answered since: what the link watch calls a link (a port
    /// chosen in the port dialog shows linked at once, before any reply).
    bool answering() const { return linked() && m_answered; }
    /// The check's verdict on the latest reply the cycle read (NoReply before the first).
    link::ReplyVerdict lastReplyVerdict() const { return m_lastVerdict; }
    void stopPolling() override { m_timer.stop(); }
    void resumePolling() override {
        m_pollState = 1;
        m_timer.start();
    }

    link::SerialPort& port() { return m_port; }
    /// Adds `subscriber` at the end of the list (it must outlive the cycle or be removed first).
    void addSubscriber(ReadingSubscriber* subscriber);
    void removeSubscriber(ReadingSubscriber* subscriber);
    /// Raw accepted live replies with the entry's remark, after the subscribers (for a consumer of
    /// replies alone; null: none).
    void setHistorySink(HistorySink* sink) { m_history = sink; }
    /// What the display shows, as numbers: the current entry's latest replies (cleared with the display).
    const LiveReading& reading() const { return m_reading; }
    /// The display the cycle writes (the port dialog shows the port it opened there).
    LiveView& view() { return m_view; }
    /// After it, the next tick runs the connection step; invalid means long past.
    QDateTime nextRefreshTime() const { return m_nextRefreshTime; }

signals:
    /// An error the cycle does not swallow (non-numeric refresh time, recording failure…): the
    /// window shows it in the standard error box; the next ticks run normally. Consecutive ticks that
    /// fail with the same message report it once.
    void tickFailed(const QString& message);

private:
    // Implementation owns the rest.
    QString runTick();  // the error that ended the tick, or empty
    void connectionStep();
    bool handleEmptyPortList();
    void rotateToNextEntry();
    bool visitUnfinished() const;
    void reopenFixedEntry();
    void openEntry(int index);
    void showEntry();
    void readReply(ReplyBlock block, QString& reply, bool& accepted);
    void sendLiveRequest();
    void sendDelayRequest();
    void showMode();
    void takeReply(ReplyBlock block, const QString& reply);
    void publish(ReplyBlock block, const QString& reply);
    void publishTickEnd();

    link::SerialPort& m_port;
    link::Sleeper& m_sleeper;
    const link::Clock& m_clock;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    LiveView& m_view;
    HistorySink* m_history = nullptr;
    std::vector<ReadingSubscriber*> m_subscribers;
    QTimer m_timer;
    LiveReading m_reading;
    QDateTime m_refreshAtLastTickEnd;  // for TickEnd::connectionStepRan

    int m_pollState = 1;
    int m_portIndex = 0;
    int m_sentPortIndex = 0;
    bool m_rotationMode = false;
    int m_connectionImage = kNotLinkedImage;
    bool m_answered = false;  ///< the last reply read was accepted, since the indicator was last off
    link::ReplyVerdict m_lastVerdict = link::ReplyVerdict::NoReply;
    QDateTime m_nextRefreshTime;  // invalid = long past
    bool m_inTick = false;
    QString m_lastError;  // of the previous tick, empty when it went through
    // The port list was found empty: the port was let go and the next connection step starts again
    // at entry 0 in either mode.
    bool m_portsGone = false;
    // The controller a rotation step opened: which of its blocks passed their check, and the ticks
    // since. The rotation moves on once both did (or it gave up); a port opened in fixed mode is not
    // a visit, so turning rotation on moves at the next connection step as ever.
    struct Visit {
        bool open = false;
        bool delayRead = false;
        bool liveRead = false;
        int ticks = 0;
    };
    Visit m_visit;
};

}  // namespace tarsyn::monitor
