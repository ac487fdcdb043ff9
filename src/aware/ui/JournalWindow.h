#pragma once

#include <QDialog>
#include <QVector>
#include <functional>

#include "history/JournalStore.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QTableWidget;

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::aware::ui {

/// The event journal window `TForm18` (menu "History"): the events newest first, filtered by
/// controller, kind and time range, exported to CSV. It only reads the journal.
class JournalWindow : public QDialog {
    Q_OBJECT
public:
    /// Asks for the CSV file's path; empty: cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggestedName)>;

    JournalWindow(history::JournalStore& journal, const config::Config& config,
                  const config::LiveSettings& settings, const config::Messages& messages,
                  config::Prompter& prompter, QWidget* parent = nullptr);

    /// Catalogue texts of the controls, the title "Form18caption", the kind names.
    void relabel();
    /// Fills the controller list from the journal and shows the events of the current filter.
    void refresh();
    /// The filter the controls describe now.
    history::JournalFilter filter() const;
    /// The events shown, in table order.
    const QVector<history::JournalEvent>& shown() const { return m_shown; }
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

public slots:
    /// `btnquery`: reads the journal again with the filter.
    void query();
    /// `btncsv`: writes the events shown to a CSV file.
    void exportCsv();

private:
    QString kindText(history::JournalKind kind) const;

    history::JournalStore& m_journal;
    const config::Config& m_config;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    FileChooser m_chooseFile;
    QComboBox* m_controller = nullptr;
    QComboBox* m_kind = nullptr;
    QCheckBox* m_range = nullptr;
    QDateTimeEdit* m_from = nullptr;
    QDateTimeEdit* m_to = nullptr;
    QCheckBox* m_upToNow = nullptr;  // `chkuptonow`: the range has no end
    QTableWidget* m_table = nullptr;
    QVector<history::JournalEvent> m_shown;
};

}  // namespace tarsyn::aware::ui
