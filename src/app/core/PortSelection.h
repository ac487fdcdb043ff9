#pragma once

#include <QString>
#include <QStringList>
#include <exception>

namespace tarsyn::link {
class SerialPort;
}

namespace tarsyn::config {
class LiveSettings;
}  // namespace tarsyn::config

namespace tarsyn::app {

/// What the port dialog changes in the main window: the poll cycle's state and the status strip.
/// The program implements it over the PollCycle and the main window; tests with a plain struct.
class PortSwitchTarget {
public:
    virtual ~PortSwitchTarget() = default;
    virtual int PortIndex() const = 0;
    virtual void setPortIndex(int index) = 0;
    /// The main window's serial port, the one the poll cycle uses.
    virtual link::SerialPort& port() = 0;
    /// Image of `dport1`: 7 linked, 2 not linked.
    virtual void setConnectionIndicator(int image) = 0;
    virtual void setPollState(int state) = 0;
    virtual void setRotationMode(bool on) = 0;
    /// Fixed-port mode on the status strip: `lblbt1` := message "gdsb", `dport2` image 1, `lblbt0` :=
    /// `portName`, `lbl999` := `remark` (the device name the history records the readings under),
    /// `lblbt2` := `notes`.
    virtual void showFixedPort(const QString& portName, const QString& remark, const QString& notes) = 0;
    virtual void ClearLiveDisplay() = 0;
    /// The status strip's explanation of a port that would not open (`error`), or none (nullptr).
    virtual void showPortProblem(const QString& portName, const std::exception* error) {
        (void)portName;
        (void)error;
    }
};

/// The port dialog's logic: which names it offers and what "指定" does.
class PortSelection {
public:
    PortSelection(const config::LiveSettings& settings, PortSwitchTarget& target);

    /// The port names of the settings' rows as they stand now, in row order. The dialog refills its
    /// box from this at every showing, so ports added in the settings window are offered at once.
    QStringList portNames() const;
    /// What the dialog lists for each row: "remark (port)", or the port alone when the row has no
    /// remark; the same order as portNames().
    QStringList portLabels() const;
    /// The entry the dialog's box stands for: the selected row while the box shows its label, a row
    /// whose label was typed, else -1 (a device name typed).
    int entryFor(int selectedIndex, const QString& boxText) const;
    /// The port name the dialog's box stands for: the port of the entry it names (entryFor), else the
    /// typed text.
    QString portNameFor(int selectedIndex, const QString& boxText) const;
    /// The entry to select when the dialog is shown: `PortIndex` (-1 selects nothing).
    int initialSelection() const;
    /// The index "指定" uses: `selectedIndex` when that entry's name is what the box shows, else -1
    /// (a name typed into the box).
    static int effectiveIndex(const QStringList& names, int selectedIndex, const QString& boxText);
    /// "指定": PortIndex := index; close the port if open (indicator 2); open the trimmed name at 2400
    /// 8N1; indicator 7 when open, 2 on any failure; PollState 1, rotation off, fixed-port display,
    /// live display cleared; the status strip says why a port would not open. The readings are
    /// recorded under the entry's remark, or under the typed name itself: never under the remark of
    /// the entry polled before. Returns the name that was opened (or tried). A blank name is refused:
    /// nothing changes and the result is empty.
    QString apply(int selectedIndex, const QString& boxText);

private:
    const config::LiveSettings& m_settings;
    PortSwitchTarget& m_target;
};

}  // namespace tarsyn::app
