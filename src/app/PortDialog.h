#pragma once

#include <QDialog>
#include <functional>

class QComboBox;

namespace tarsyn::app {

class Messages;
class PortSelection;

/// The port dialog `TForm11`: picks one port (or takes a typed name) and puts the main window in
/// fixed-port mode on it. Open to every access level.
class PortDialog : public QDialog {
    Q_OBJECT
public:
    /// Applies the catalogue's control texts to a window (labels, push buttons with hints).
    using Translator = std::function<void(QWidget*)>;

    PortDialog(PortSelection& logic, const Messages& messages, Translator translate = {}, QWidget* parent = nullptr);

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
    PortSelection& m_logic;
    const Messages& m_messages;
    Translator m_translate;
    QComboBox* m_box;
};

}  // namespace tarsyn::app
