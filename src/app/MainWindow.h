#pragma once

#include <QHash>
#include <QMainWindow>
#include <memory>

#include "aware/Awareness.h"
#include "monitor/LiveView.h"

class QAction;
class QCloseEvent;
class QLabel;
class QPushButton;
class QToolButton;
class QGroupBox;
class QTabWidget;

namespace tarsyn::link {
class Clock;
class SerialPort;
class Sleeper;
}  // namespace tarsyn::link

namespace tarsyn::monitor {
class PollCycle;
}
namespace tarsyn::station {
class Station;
}

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::widgets {
class ElidingLabel;
class IndicatorLamp;
}  // namespace tarsyn::widgets

namespace tarsyn::app {

/// The main window `TForm1`: toolbar, status strip, the live readings, delays and indicators, and the
/// menu bar. It draws what the station of its line shows (it is the station's view) and hands every
/// command to whoever connects to it; it does no protocol work itself.
class MainWindow : public QMainWindow, public monitor::LiveView, public aware::StatusView {
    Q_OBJECT
public:
    /// Creation: title from "Form1caption", the stored language on the controls, and the window
    /// attached as the view of `station`, whose cycle the caller starts (Station::start).
    MainWindow(station::Station& station, const config::Config& config, const config::LiveSettings& settings,
               const config::Messages& messages, config::Prompter& prompter, QWidget* parent = nullptr);
    /// A window with a station of its own on `port`, started at once with the poll state from
    /// system.ini ("Ports" "0": the cycle opens nothing by itself), as a window standing alone needs.
    MainWindow(const config::Config& config, const config::LiveSettings& settings,
               const config::Messages& messages, link::SerialPort& port, link::Sleeper& sleeper,
               const link::Clock& clock, config::Prompter& prompter, QWidget* parent = nullptr);
    ~MainWindow() override;

    monitor::PollCycle& poll();
    station::Station& station() { return m_station; }

    /// The language hot key's step for this window: catalogue texts, title "Form1caption", and the
    /// mode label and picture of the current mode.
    void relabel();

    /// Controls other parts wire to (the toolbar's command buttons `dport3`…`dport7`, the ten
    /// calibration buttons `btn11`…`btn20`, any menu action by objectName).
    QToolButton* toolButton(const QString& objectName) const;
    QPushButton* calibrationButton(int number) const;  ///< 11…20
    QAction* menuAction(const QString& objectName) const;
    QLabel* panel(const QString& objectName) const { return m_panels.value(objectName); }
    widgets::IndicatorLamp* indicator(const QString& objectName) const { return m_lamps.value(objectName); }
    int connectionImage() const { return m_connectionImage; }
    /// The history recorder's state in the status strip: a failure stays until recording works again;
    /// the recovery text shows for a while.
    void setHistoryStatus(bool ok, const QString& text);
    QString historyStatusText() const;
    /// A problem with the settings found at start (a stored language without a catalogue), kept in
    /// the status strip for the whole run; empty hides it.
    void showSettingsWarning(const QString& text);
    QString settingsWarningText() const;
    /// The MQTT broker link in the status strip (only with a [Mqtt] section): connected, or since when
    /// it is lost and why, or why the settings were refused.
    void setBrokerStatus(bool ok, const QString& text);
    QString brokerStatusText() const;
    int modeImage() const { return m_modeImage; }

    // LiveView
    void setPanelText(const QString& panel, const QString& text) override;
    void setIndicatorImage(const QString& indicator, int image) override;
    void setConnectionImage(int image) override;
    void setMode(const QString& label, bool rotation) override;
    void setEntryTexts(const QString& port, const QString& remark, const QString& notes) override;
    void setPortText(const QString& port) override;
    void setPortProblem(const QString& text) override;
    QString portProblemText() const;
    QString remarkText() const override;

    // StatusView: link state, last reading, alarm count in the strip; stale readings greyed.
    void showAwareness(const aware::AwarenessStatus& status) override;
    bool readingsStale() const { return m_stale; }
    /// The panel is marked: its value is beyond one of the operator's own limits.
    bool panelWarned(const QString& panel) const;
    /// The tab's caption without its count of active items (the catalogue's text).
    QString tabBaseCaption(int tab) const { return m_tabBase.value(tab); }

signals:
    /// `btnzdck` or menu `connect1`: the port dialog.
    void portDialogRequested();
    /// `dport20` or menu `Set1`: the settings window (behind its access gate).
    void settingsRequested();
    /// The window has closed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    /// Draws `given`, or else the station `own` it keeps for itself.
    MainWindow(station::Station* given, std::unique_ptr<station::Station> own, const config::Config& config,
               const config::LiveSettings& settings, const config::Messages& messages,
               config::Prompter& prompter, QWidget* parent);
    void build();
    void showTickError(const QString& message);
    // Layout (MainWindowLayout.cpp).
    void buildToolBar();
    void buildMenus();
    QWidget* buildStatusStrip();
    QGroupBox* buildReadingsGroup();
    QGroupBox* buildDelaysGroup();
    QGroupBox* buildIndicatorsGroup();
    QLabel* addPanel(const QString& name);

    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    std::unique_ptr<station::Station> m_ownStation;  // only for a window standing alone
    station::Station& m_station;

    QHash<QString, QLabel*> m_panels;
    QHash<QString, widgets::IndicatorLamp*> m_lamps;
    QToolButton* m_connectionButton = nullptr;
    QToolButton* m_modeButton = nullptr;
    QLabel* m_modeLabel = nullptr;
    widgets::ElidingLabel* m_portLabel = nullptr;
    widgets::ElidingLabel* m_notesLabel = nullptr;
    QLabel* m_remarkLabel = nullptr;
    widgets::ElidingLabel* m_historyLabel = nullptr;
    widgets::ElidingLabel* m_brokerLabel = nullptr;
    widgets::ElidingLabel* m_portProblemLabel = nullptr;
    widgets::ElidingLabel* m_shownRemarkLabel = nullptr;  // `lblctlname`: the remark beside the port name
    QLabel* m_linkLabel = nullptr;                        // `lbllink`
    QLabel* m_lastReadingLabel = nullptr;                 // `lbllast`
    QLabel* m_alarmCountLabel = nullptr;                  // `lblalarms`
    QTabWidget* m_tabs = nullptr;
    QStringList m_tabBase;     // tab captions without their counts
    QVector<int> m_tabCounts;  // lamps lit per tab, as shown in the captions
    bool m_stale = false;
    void showTabCounts();
    void setStale(bool stale);
    void paintPanel(QLabel* panel);
    QStringList m_warnedPanels;
    int m_connectionImage = -1;
    int m_modeImage = -1;
    bool m_tickErrorOpen = false;
};

}  // namespace tarsyn::app
