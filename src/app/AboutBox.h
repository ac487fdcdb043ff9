#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarsyn::config {
class Messages;
}

namespace tarsyn::app {

/// The about box `TForm3`, shown without being modal: a picture and the four lines `lblgy1`…`lblgy4`,
/// the greyed "Core：V3" below them, and "OK".
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(const config::Messages& messages, QWidget* parent = nullptr);

    /// The about command: title "Form3caption"; the first line from `dl14` only when the catalogue
    /// has it (otherwise it keeps its text, "V 3.0" until a hot key press); lines two to four from
    /// `dl15`…`dl17`; shown, not modal.
    void open();
    /// The hot key's step: title and all four lines, the first one too even when `dl14` is missing.
    void relabel();

    QString line(int number) const;  ///< 1…4

private:
    const config::Messages& m_messages;
    void showButtonText();
    QLabel* m_lines[4] = {};
    QPushButton* m_ok = nullptr;
    QLabel* m_core = nullptr;  ///< "Core：V3", in the catalogue's words (gycore)
};

}  // namespace tarsyn::app
