#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "fleet/FrameLog.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::fleet::ui {

/// The link diagnostics window `TForm21` (menu "History"): the live log of the frames on the line,
/// paused and resumed, filtered by kind and exported to CSV, beside the counters of a port since start
/// and for the last hour. The log listens to the line only while the window is open.
class DiagnosticsWindow : public QWidget {
    Q_OBJECT
public:
    /// Asks for the CSV file's path; empty: cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggestedName)>;
    /// The port on screen now (the counters show it first).
    using CurrentPort = std::function<QString()>;

    DiagnosticsWindow(link::LinkMeter& meter, FrameLog& log, CurrentPort currentPort,
                      const config::Config& config, const config::LiveSettings& settings,
                      const config::Messages& messages, config::Prompter& prompter,
                      QWidget* parent = nullptr);

    /// Catalogue texts of the controls, the log's and the counters' texts, the title "Form21caption".
    void relabel();
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    QTableView* frames() const { return m_frames; }
    QTableWidget* counters() const { return m_counters; }

public slots:
    /// `btnpause`: stops or resumes the log.
    void togglePause();
    /// `btndgcsv`: writes the rows shown to a CSV file.
    void exportCsv();
    /// The counters of the chosen port, read again (every second while the window is open).
    void refreshCounters();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    /// The counters' columns share the new width.
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Each counter's column as wide as its caption, the room left shared out evenly.
    void fitCounters();
    void fillPorts();
    void showPauseText();

    link::LinkMeter& m_meter;
    FrameLog& m_log;
    CurrentPort m_currentPort;
    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    FileChooser m_chooseFile;
    QTableView* m_frames = nullptr;
    QTableWidget* m_counters = nullptr;
    QComboBox* m_port = nullptr;
    QPushButton* m_pause = nullptr;
    std::array<QCheckBox*, link::kFrameKindCount> m_kinds{};
    QTimer* m_refresh = nullptr;
};

}  // namespace tarsyn::fleet::ui
