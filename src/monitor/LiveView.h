#pragma once

#include <QString>

namespace tarsyn::monitor {

/// The surface the poll cycle writes to: the main window implements it with its panels, indicators,
/// tool buttons and status strip; tests record what was written.
class LiveView {
public:
    virtual ~LiveView() = default;

    /// Text of a value panel (`pnl11`…`pnl74`).
    virtual void setPanelText(const QString& panel, const QString& text) = 0;
    /// Picture index of an indicator (`zs1`…`zs34`); the view knows each indicator's picture set.
    virtual void setIndicatorImage(const QString& indicator, int image) = 0;
    /// Picture of the connection-state button `dport1` (kNotLinkedImage / kLinkedImage).
    virtual void setConnectionImage(int image) = 0;
    /// Mode label `lblbt1` and the picture of the mode button `dport2` (rotation or fixed).
    virtual void setMode(const QString& label, bool rotation) = 0;
    /// The current port-list entry: `lblbt0` port, hidden `lbl999` remark, `lblbt2` notes.
    virtual void setEntryTexts(const QString& port, const QString& remark, const QString& notes) = 0;
    /// Only the port label `lblbt0` (the port dialog shows a port it opened by name).
    virtual void setPortText(const QString& port) = 0;
    /// Why the current port could not be opened (PortProblemText), or empty once it opens; shown on
    /// the status strip, since the connection step itself stays silent.
    virtual void setPortProblem(const QString& text) { (void)text; }
    /// What the hidden remark label `lbl999` holds: the device name the history recorder stores.
    virtual QString remarkText() const = 0;
};

}  // namespace tarsyn::monitor
