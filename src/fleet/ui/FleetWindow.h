#pragma once

#include <QColor>
#include <QWidget>

#include "fleet/BrokerFleet.h"
#include "fleet/FleetModel.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::fleet::ui {

/// How a fleet row is drawn: alarm rows on red, lost links on amber, stale rows in grey letters.
struct FleetColours {
    static inline const QColor kAlarmBackground{0xF4, 0xB6, 0xB6};
    static inline const QColor kLostBackground{0xF8, 0xDC, 0x9A};
    static inline const QColor kStaleText{0x8A, 0x8A, 0x8A};
};

/// The fleet window `TForm20` (menu "History"): every set of the port list in one table, most urgent
/// first; a double-click or Enter on a row makes that set the one on screen. A window of its own,
/// beside the main window, not modal.
class FleetWindow : public QWidget {
    Q_OBJECT
public:
    FleetWindow(FleetModel& model, const config::Config& config, const config::LiveSettings& settings,
                const config::Messages& messages, config::Prompter& prompter, QWidget* parent = nullptr);

    /// Catalogue texts of the controls, the model's texts and the title "Form20caption".
    void relabel();
    QTableView* table() const { return m_table; }
    /// With fleet publishing: the other sites' sets from the broker, watched on the filter the operator
    /// types (`edtsites`, by default every site's state topics) with `btnsites`. Without, the row
    /// stays hidden.
    void setBrokerSource(BrokerFleet* source);

public slots:
    /// Double-click or Enter on the table's row `viewRow`: that set on screen, or the refusal shown.
    void choose(int viewRow);

protected:
    /// The columns fit their captions and texts in the font the window is shown with.
    void showEvent(QShowEvent* event) override;
    /// The columns share the new width.
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();

    FleetModel& m_model;
    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    QTableView* m_table = nullptr;
    QLabel* m_hint = nullptr;
    QWidget* m_brokerRow = nullptr;
    QLineEdit* m_brokerFilter = nullptr;
    QPushButton* m_brokerWatch = nullptr;
    BrokerFleet* m_broker = nullptr;
};

}  // namespace tarsyn::fleet::ui
