#include "app/core/PortSelection.h"

#include "config/LiveSettings.h"
#include "link/LineSettings.h"
#include "link/LinkError.h"
#include "link/SerialPort.h"

namespace tarsyn::app {

namespace {
// Images of the connection-state button `dport1`.
constexpr int kLinked = 7;
constexpr int kNotLinked = 2;
}  // namespace

PortSelection::PortSelection(const config::LiveSettings& settings, PortSwitchTarget& target)
    : m_settings(settings), m_target(target) {}

QStringList PortSelection::portNames() const {
    QStringList names;
    for (const config::PortEntry& row : m_settings.ports()) names << row.port;
    return names;
}

QStringList PortSelection::portLabels() const {
    QStringList labels;
    for (const config::PortEntry& row : m_settings.ports()) {
        const QString remark = row.remark.trimmed();
        labels << (remark.isEmpty() ? row.port : QStringLiteral("%1 (%2)").arg(remark, row.port));
    }
    return labels;
}

int PortSelection::entryFor(int selectedIndex, const QString& boxText) const {
    const QStringList labels = portLabels();
    if (selectedIndex >= 0 && selectedIndex < labels.size() && boxText == labels.at(selectedIndex))
        return selectedIndex;
    // An entry's label typed (or pasted) as it is shown in the list names that entry, not a device.
    return int(labels.indexOf(boxText.trimmed()));
}

QString PortSelection::portNameFor(int selectedIndex, const QString& boxText) const {
    const int entry = entryFor(selectedIndex, boxText);
    return entry >= 0 ? portNames().at(entry) : boxText;
}

int PortSelection::initialSelection() const {
    const int index = m_target.PortIndex();
    return index >= 0 && index < m_settings.ports().size() ? index : -1;
}

int PortSelection::effectiveIndex(const QStringList& names, int selectedIndex, const QString& boxText) {
    if (selectedIndex < 0 || selectedIndex >= names.size()) return -1;
    return names[selectedIndex] == boxText ? selectedIndex : -1;
}

QString PortSelection::apply(int selectedIndex, const QString& boxText) {
    const QString name = boxText.trimmed();
    if (name.isEmpty()) return {};  // no device to open: the dialog does not offer "指定" then
    const int index = effectiveIndex(portNames(), selectedIndex, boxText);
    m_target.setPortIndex(index);
    link::SerialPort& port = m_target.port();
    try {
        if (port.Connected()) {
            port.ClosePort();
            m_target.setConnectionIndicator(kNotLinked);
        }
        port.setPortName(name);
        port.setLineSettings(link::LineSettings::fromTexts("2400", "8", "1", "none"));
        port.OpenPort();
        // Linked at once, before any reply: the next polled reply corrects it if nothing answers.
        if (port.Connected()) m_target.setConnectionIndicator(kLinked);
        m_target.showPortProblem(name, nullptr);
    } catch (const link::LinkError& e) {
        m_target.setConnectionIndicator(kNotLinked);
        m_target.showPortProblem(name, &e);
    }
    m_target.setPollState(1);
    m_target.setRotationMode(false);
    // `lbl999` still names the entry polled before; the history must not file these readings there.
    // A typed name that is a listed port is that entry's controller; any other is known by its name.
    config::PortEntry device{name, name, QString()};
    const QVector<config::PortEntry> ports = m_settings.ports();
    if (index >= 0 && index < ports.size()) {
        device = ports.at(index);
    } else {
        for (const config::PortEntry& entry : ports)
            if (entry.port == name) {
                device = entry;
                break;
            }
    }
    m_target.showFixedPort(name, device.remark, device.notes);
    m_target.ClearLiveDisplay();
    return name;
}

}  // namespace tarsyn::app
