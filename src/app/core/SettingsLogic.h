#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "config/LiveSettings.h"

namespace tarsyn::config {
class Config;
class Prompter;
}  // namespace tarsyn::config

namespace tarsyn::app {


/// Smallest recording intervals that keep one row per port visit: "save1" (seconds) at least
/// flash × rows, "save2" (minutes) at least round_half_even(flash × rows / 60) + 1.
struct IntervalMinimums {
    qint64 hourSeconds = 0;  ///< "save1"
    qint64 dayMinutes = 1;   ///< "save2"
    static IntervalMinimums of(qint64 refreshSeconds, qint64 rows);
};

/// Whole non-negative decimal number that fits in 32 bits; nullopt for anything else ("", "1.5", "-3").
std::optional<qint64> WholeNumber(const QString& text);

/// The settings window's logic, without widgets: the window's controls are the program's live settings
/// (LiveSettings), and this class loads them, checks additions to the port list, applies the interval
/// minimums and writes everything back to system.ini in one piece when the window closes with Yes.
class SettingsLogic {
public:
    enum class CloseResult { Closed, Saved, StayOpen };

    SettingsLogic(config::Config& config, config::LiveSettings& settings, const config::Messages& messages, config::Prompter& prompter);

    /// Creation: reads language, flash, save1, save2 and the rows from section Set.
    void load();
    /// Language names of the data folder (config::CatalogueNames: the same list the hot key cycles).
    QStringList catalogueList() const;

    /// On-screen names of the three number boxes, used in the message that refuses a non-number.
    void setFieldLabels(const QString& refresh, const QString& hourInterval, const QString& dayInterval);

    /// The interval text raised to its minimum for the current refresh time and row count; the text
    /// unchanged when it or the refresh time is not a whole number, or already large enough.
    QString raisedHourInterval(const QString& save1) const;
    QString raisedDayInterval(const QString& save2) const;
    /// Applies both minimums to the live settings (leaving a box).
    void applyHourMinimum();
    void applyDayMinimum();

    /// The add panel's "确定": false (and one `dl20` per clashing row) when the port name or the remark
    /// is already listed, checked only once the stored "Ports" is not "0"; otherwise appends the row.
    bool addPort(const config::PortEntry& entry);
    /// "删除": removes `row` unless fewer than two rows are listed. True when a row was removed.
    bool deletePort(int row);

    /// The close procedure with the texts of the two password boxes: `dl1` (No: Closed, nothing
    /// written), equal non-empty passwords (`dl28`, StayOpen), a box that is not a whole number (a
    /// message naming it, StayOpen), a failed write (the error box, StayOpen); otherwise one atomic
    /// write of section Set with a fresh "jzm" and Saved.
    CloseResult close(const QString& superPassword, const QString& ordinaryPassword);

    /// Called once section Set has been written (the program journals it).
    void setSavedHook(std::function<void()> hook) { m_savedHook = std::move(hook); }

private:
    QString refusal(const QString& label, const QString& unit, const QString& text) const;

    config::Config& m_config;
    config::LiveSettings& m_settings;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    QString m_refreshLabel = QStringLiteral("刷新时间");
    QString m_hourLabel = QStringLiteral("保存时间1");
    QString m_dayLabel = QStringLiteral("保存时间2");
    std::function<void()> m_savedHook;
};

}  // namespace tarsyn::app
