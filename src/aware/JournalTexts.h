#pragma once

#include <QString>

#include "config/CatalogueText.h"

namespace tarsyn::aware {

// The detail texts of the journal's events about the operator's own actions. They are stored as written
// here, in English whatever the language in effect, in the journal's "detail" (what older programs
// show). Next to each, the event's values (the functions ending in "Data") go to its "data": the
// journal window, the export and the broker's event say the event from them in the reader's language.

/// The settings window's values as saved to system.ini, by their keys there.
struct SavedSettings {
    QString language;
    QString flash;  ///< refresh interval
    QString save1;  ///< hour table interval
    QString save2;  ///< day table interval
    int ports = 0;  ///< entries in the port list
};
/// "language=English flash=2 save1=5 save2=60 ports=2".
QString settingsSavedText(const SavedSettings& s);

/// "super" or "ordinary".
QString loginSucceededText(bool superLevel);
/// "attempt 2": the number of wrong passwords so far.
QString loginFailedText(int attempt);

/// An operating command sent or declined: its caption, its button, the request written or that would
/// have been: "Start (dport3, 000500…)".
QString commandText(const QString& caption, const QString& control, const QString& request);
/// A calibration value sent: "Generator voltage A = 231 (btnjz1, 000600…)".
QString calibrationSentText(const QString& what, const QString& value, const QString& control,
                            const QString& request);

/// A command that came through the broker and went out: the command's own text, its origin, the
/// verified sender and the command's id: "Start (dport3, 0005100100FF), origin mqtt, client hq, id 7f3a".
QString remoteCommandText(const QString& commandText, const QString& client, const QString& id);
/// A remote command refused, nothing sent: its word (as sent), the reason, the verified sender
/// ("unknown" when its signature did not hold) and its id ("-" when it had none): "start refused
/// (retained), origin mqtt, client unknown, id 7f3a".
QString remoteRefusedText(const QString& word, const QString& reason, const QString& client,
                          const QString& id);

/// History rows the spool could not keep: "12 rows over the limit of the spool".
QString historyDroppedText(qint64 rows);

// ---- The events' values, as the journal's "data" holds them ----

/// The "data" of an event: `text` as compact JSON, with "o" the window and control names it concerns
/// (space separated; only the export shows them) and "fr" the frame it sent (hexadecimal; only the
/// export and the broker's event carry it).
QString JournalData(const config::CatalogueText& text, const QString& objects = {},
                    const QString& frames = {});

/// An alarm indicator turned on or off: its caption ("lblzs9.Caption").
QString alarmData(const QString& indicator);
/// An own watch limit crossed or back: "Own limit: <value's caption> below|above <limit> (<value>)".
QString watchData(const QString& panel, bool low, double limit, double value);
/// An operating command sent or declined: the button's caption; the request is the frame.
QString commandData(const QString& control, const QString& request);
/// The same, sent on a broker's message from `client`.
QString remoteCommandData(const QString& control, const QString& request, const QString& client);
/// A calibration value sent: "<the button's hint> = <value>"; the request is the frame.
QString calibrationSentData(const QString& control, const QString& value, const QString& request);
/// The settings saved, with their units.
QString settingsSavedData(const SavedSettings& s);
/// The level granted.
QString loginSucceededData(bool superLevel);
/// The number of wrong passwords so far.
QString loginFailedData(int attempt);
/// History rows the spool could not keep.
QString historyDroppedData(qint64 rows);

}  // namespace tarsyn::aware
