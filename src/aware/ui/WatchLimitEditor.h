#pragma once

#include <QDialog>
#include <QVector>
#include <functional>

#include "aware/WatchLimits.h"

class QTableWidget;

namespace tarsyn::config {
class Config;
class LiveSettings;
class Messages;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::aware::ui {

/// The editor of the operator's own watch limits `TForm19`: one row per limit (controller, value,
/// low, high, hold seconds, hysteresis). "Save" checks every row, writes system.ini [Watch] and hands
/// the limits to whoever watches them; a box that is not a number or lies outside its value's
/// physical range (WatchRange) is named with the range, and nothing is saved.
class WatchLimitEditor : public QDialog {
    Q_OBJECT
public:
    using Applied = std::function<void(const QVector<WatchLimit>&)>;

    WatchLimitEditor(config::Config& config, const config::LiveSettings& settings,
                     const config::Messages& messages, config::Prompter& prompter, Applied applied,
                     QWidget* parent = nullptr);

    void relabel();
    /// Fills the table from system.ini.
    void load();
    /// The limits the table describes; nullopt (and the reason in `error`) when a row does not read.
    std::optional<QVector<WatchLimit>> limits(QString* error) const;

    QTableWidget* table() const { return m_table; }

public slots:
    void addRow();
    void removeRow();
    /// `btnsave`: checks, writes and applies; the window closes when that worked.
    bool save();

private:
    void appendRow(const WatchLimit& limit);
    /// The value's caption in the current language, as the main window labels it.
    QString valueName(const QString& panel) const;
    /// Its unit as the main window shows it ("V", "°C"); empty for a bare number.
    QString unitOf(const QString& panel) const;
    void fitWidth();

    config::Config& m_config;
    const config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    Applied m_applied;
    QTableWidget* m_table = nullptr;
};

}  // namespace tarsyn::aware::ui
