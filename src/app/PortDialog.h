#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/core/PortSelection.h"

class QComboBox;

namespace tarsyn::monitor {
class LiveView;
class PollCycle;
}  // namespace tarsyn::monitor

namespace tarsyn::config {
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::app {

class PortSelection;

/// The port dialog's target in the program: the main window's poll cycle and its status strip.
class PollCyclePortTarget : public PortSwitchTarget {
public:
    PollCyclePortTarget(monitor::PollCycle& poll, monitor::LiveView& view, const config::Messages& messages)
        : m_poll(poll), m_view(view), m_messages(messages) {}
    int PortIndex() const override;
    void setPortIndex(int index) override;
    link::SerialPort& port() override;
    void setConnectionIndicator(int image) override;
    void setPollState(int state) override;
    void setRotationMode(bool on) override;
    void showFixedPort(const QString& portName, const QString& remark, const QString& notes) override;
    void ClearLiveDisplay() override;
    void showPortProblem(const QString& portName, const std::exception* error) override;

private:
    monitor::PollCycle& m_poll;
    monitor::LiveView& m_view;
    const config::Messages& m_messages;
};

/// The port dialog `TForm11`: picks one port (or takes a typed name) and puts the main window in
/// fixed-port mode on it. Open to every access level.
class PortDialog : public QDialog {
    Q_OBJECT
public:
    /// Applies the catalogue's control texts to a window (labels, push buttons with hints).
    using Translator = std::function<void(QWidget*)>;

    PortDialog(PortSelection& logic, const config::Messages& messages, Translator translate = {},
               QWidget* parent = nullptr);

    /// Catalogue texts (creation and language hot key). The title is set at each showing.
    void relabel();
    /// Refills the box with the port list as it stands, selects `PortIndex`, sets the title from
    /// "Form11caption" and shows the dialog modally.
    int runModal();
    /// Prepares the box and title without showing (what runModal does first).
    void prepare();

    QComboBox* portBox() const { return m_box; }

public slots:
    /// `btnzdck` "指定".
    void applyPressed();

private:
    // Narrowest and widest the dialog grows to for its entries (the screen caps it too).
    static constexpr int kMinWidth = 360;
    static constexpr int kMaxWidth = 900;
    void fitToLabels(const QStringList& labels);

    PortSelection& m_logic;
    const config::Messages& m_messages;
    Translator m_translate;
    QComboBox* m_box;
};

}  // namespace tarsyn::app
