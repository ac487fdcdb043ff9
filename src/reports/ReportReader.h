#pragma once

#include <QString>
#include <QStringList>

namespace tarsyn::link {
class ControllerLink;
}
namespace tarsyn::monitor {
class PollControl;
}

namespace tarsyn::reports {

/// Where the report's readings go: the window's 22 delay panels and 32 indicator buttons.
class ReportSurface {
public:
    virtual ~ReportSurface() = default;
    /// Text of a delay panel `pnl41`…`pnl74`.
    virtual void setPanelText(const QString& panel, const QString& text) = 0;
    /// Picture of an indicator `btnzs1`…`btnzs34`: 0 white, 1 red for the nine alarms, green otherwise.
    virtual void setIndicatorImage(const QString& indicator, int image) = 0;
};

/// The printed report's one read of the controller: the 22 delays in force (0x0036) and the four
/// bytes of alarm, state, input and output bits (0x001A). It runs inside the exclusive-exchange
/// guard and swallows every error: whatever was filled before an error stays, and polling resumes.
class ReportReader {
public:
    /// Delays: "000400360016", 53 characters (all but the LF), 500 ms, used when longer than 50.
    static constexpr int kDelayCount = 53;
    static constexpr int kDelayWaitMs = 500;
    static constexpr int kDelayMinimum = 51;
    /// Bits: "0004001A0004", 17 characters, 300 ms, used when longer than 13.
    static constexpr int kBitsCount = 17;
    static constexpr int kBitsWaitMs = 300;
    static constexpr int kBitsMinimum = 14;

    ReportReader(link::ControllerLink& link, monitor::PollControl& poll) : m_link(link), m_poll(poll) {}

    /// The delay panels `pnl41`…`pnl74`, in the order of the delay block.
    static QStringList DelayPanels();
    /// The indicator buttons in the order of the bits reply (bit 7 of 0x001A first): the main
    /// window's `zs` names with "btn" before them.
    static QStringList IndicatorButtons();
    /// Whether an indicator uses the alarm pictures (white, red, green): `btnzs1`…`btnzs9`.
    static bool AlarmIndicator(const QString& button);

    /// Every panel "0", every indicator picture 0.
    static void clear(ReportSurface& surface);

    /// The read: 600 ms pause, `PollState` 1, the delays exchange and then the bits exchange, each
    /// used only when long enough. Never raises.
    void read(ReportSurface& surface);

private:
    link::ControllerLink& m_link;
    monitor::PollControl& m_poll;
};

}  // namespace tarsyn::reports
