#pragma once

#include <QString>
#include <QStringList>
#include <functional>

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

/// At start: a stored language whose catalogue is not installed is replaced in `settings` by the
/// first installed one (system.ini keeps the old name until the settings are saved). Returns the
/// missing name; empty when the stored language is installed, or when no catalogue is.
QString FallBackToInstalledLanguage(config::LiveSettings& settings, const config::Config& config);

/// The settings window's logic, without widgets. The window edits a draft, a copy of the program's
/// live settings taken when it opens; the poll cycle and the recorder keep using the live settings.
/// Closing with Yes checks the draft, writes it to system.ini in one piece and only then makes it the
/// live settings; any other close throws the draft away.
class SettingsLogic {
public:
    enum class CloseResult { Closed, Saved, StayOpen };

    /// The captions beside the boxes (without a trailing colon) and their units, as the operator
    /// sees them: refusals name the box by them.
    struct FieldLabels {
        QString refresh = QStringLiteral("刷新时间"), refreshUnit = QStringLiteral("秒");
        QString hourInterval = QStringLiteral("保存时间1"), hourUnit = QStringLiteral("秒");
        QString dayInterval = QStringLiteral("保存时间2"), dayUnit = QStringLiteral("分钟");
        QString language = QStringLiteral("language");
        QString superPassword = QStringLiteral("超管口令"), ordinaryPassword = QStringLiteral("普管口令");
        QString port = QStringLiteral("Port"), remark = QStringLiteral("Remark"),
                notes = QStringLiteral("notes");
    };

    SettingsLogic(config::Config& config, config::LiveSettings& settings, const config::Messages& messages,
                  config::Prompter& prompter);

    /// Creation: reads language, flash, save1, save2 and the rows from section Set into the live
    /// settings (a language without its catalogue replaced as at start), and starts the draft from them.
    void load();
    /// Language names of the data folder (config::CatalogueNames: the same list the hot key cycles).
    QStringList catalogueList() const;

    /// What the window shows and edits. Its language follows the live one when the hot key changes it.
    config::LiveSettings& draft() { return m_draft; }
    const config::LiveSettings& draft() const { return m_draft; }
    /// The window opens: the draft starts again from the settings in effect, with the stored language
    /// (when its catalogue is installed) rather than one the hot key switched to.
    void beginEdit();

    void setFieldLabels(const FieldLabels& labels) { m_labels = labels; }

    /// The interval text raised to its minimum for the draft's refresh time and row count; the text
    /// unchanged when it or the refresh time is not a whole number, or already large enough.
    QString raisedHourInterval(const QString& save1) const;
    QString raisedDayInterval(const QString& save2) const;
    /// Applies both minimums to the draft (leaving a box).
    void applyHourMinimum();
    void applyDayMinimum();

    /// The add panel's "确定": false, with a message, for an empty port name, a full list or a text the
    /// file cannot store, and (with one `dl20` per clashing row) when the port name or the remark is
    /// already listed, checked only once the stored "Ports" is not "0"; otherwise appends the row.
    bool addPort(const config::PortEntry& entry);
    /// "删除": removes `row` unless fewer than two rows are listed. True when a row was removed.
    bool deletePort(int row);

    /// The close procedure with the texts of the two password boxes: `dl1` (No: Closed, the draft
    /// thrown away), equal non-empty passwords (`dl28`, StayOpen), a box outside its range, a language
    /// without a catalogue or a password too long or not storable (a message naming the box and what
    /// it accepts, StayOpen), a failed write (the error box, StayOpen); otherwise one atomic write of
    /// section Set with a fresh "jzm", the draft made the live settings, and Saved.
    CloseResult close(const QString& superPassword, const QString& ordinaryPassword);

    /// Called once section Set has been written (the program journals it).
    void setSavedHook(std::function<void()> hook) { m_savedHook = std::move(hook); }

private:
    /// Shows message `key` with `args` put in its %1, %2… in one pass (a typed "%1" stays as typed).
    void refuse(const QString& key, const QStringList& args) const;
    /// True (after the message) when the box's text is not a whole number from `min` to `max`.
    bool numberRefused(const QString& label, const QString& unit, const QString& text, qint64 min,
                       qint64 max) const;
    bool passwordRefused(const QString& label, const QString& password) const;
    bool storable(const QString& text) const;

    config::Config& m_config;
    config::LiveSettings& m_settings;
    config::LiveSettings m_draft;
    const config::Messages& m_messages;
    config::Prompter& m_prompter;
    FieldLabels m_labels;
    std::function<void()> m_savedHook;
};

}  // namespace tarsyn::app
