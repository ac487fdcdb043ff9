#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QFrame;
class QLineEdit;
class QMenu;
class QTreeWidget;

namespace tarsyn::config {
class LiveSettings;
class Messages;
}  // namespace tarsyn::config

namespace tarsyn::app {

class SettingsLogic;

/// The settings window `TForm2`. Its controls edit SettingsLogic's draft; the program's settings and
/// system.ini change only when it closes with Yes at `dl1` and the draft passes its checks.
/// Created once at start, shown modally through SettingsGate, hidden (never destroyed) on close.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    /// Applies the catalogue's control texts to a window (labels, check boxes, push buttons with
    /// hints, group boxes, menu items, speed buttons).
    using Translator = std::function<void(QWidget*)>;

    SettingsWindow(SettingsLogic& logic, config::LiveSettings& settings, const config::Messages& messages,
                   Translator translate = {}, QWidget* parent = nullptr);

    /// Catalogue texts, title "Form2caption" and the list's column captions "port", "remark", "notes":
    /// at creation and at each language hot key press.
    void relabel();
    /// The language box `cbb1`; the hot key selects its entries in turn.
    QComboBox* languageBox() const { return m_language; }
    /// Selects entry `index` of the language box (hot key); the new language is in effect at once.
    void selectLanguage(int index);

public slots:
    /// "添加": shows the add panel.
    void showAddPanel();
    /// The add panel's "确定".
    void addConfirmed();
    /// "删除": removes the selected row (never the last one).
    void deleteSelected();
    /// Every close ("退出", close box, Esc) runs the close procedure, which may keep the window open.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The list's design widths; the port and remark columns grow to their entries up to the cap.
    static constexpr int kPortColumnWidth = 40;
    static constexpr int kRemarkColumnWidth = 60;
    static constexpr int kNotesColumnWidth = 260;
    static constexpr int kMaxColumnWidth = 320;

    void showSettings();  // draft -> controls
    void fillRows();
    void fitColumns();
    void passLabels();  // the captions and units beside the boxes, for the logic's refusals

    SettingsLogic& m_logic;
    config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    Translator m_translate;
    QComboBox* m_language;
    QComboBox* m_refresh;
    QLineEdit* m_hour;
    QLineEdit* m_day;
    QLineEdit* m_super;
    QLineEdit* m_ordinary;
    QTreeWidget* m_list;
    QMenu* m_menu;
    QFrame* m_addPanel;
    QLineEdit* m_newPort;
    QLineEdit* m_newRemark;
    QLineEdit* m_newNotes;
    bool m_showing = false;
};

}  // namespace tarsyn::app
