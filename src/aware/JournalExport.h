#pragma once

#include <QString>
#include <QVector>
#include <functional>

#include "history/JournalStore.h"

namespace tarsyn::aware {

/// The catalogue text of a journal kind: message "jk" + its code ("jkalarm-raised"), looked up with
/// `message` (a missing key gives "0", as every message does).
QString JournalKindText(history::JournalKind kind, const std::function<QString(const QString&)>& message);

/// A journal detail as the operator reads it, and the program's own names it held.
struct JournalDetail {
    QString text;     ///< "Emergency stop", "Start", "Sensor curves, block 1: …"
    QString objects;  ///< "zs9", "dport3", "TForm7 rbsd1": window and control names, space separated
};

/// Splits a stored detail ("zs9 Emergency stop", "Start (dport3, 000500…)", "Sensor curves (TForm7),
/// block 1: Sensor (rbsd1): 0 → 1") into the words the operator sees and the window and control names,
/// which only an export keeps (they say exactly which control was meant).
JournalDetail SplitJournalDetail(const QString& detail);

/// Writes the events to `path` as CSV in UTF-8 with a byte-order mark (so that spreadsheet programs
/// read the Chinese texts right), the detail split into the operator's text and a last column "objects"
/// of the window and control names; false with the system's reason in `error`. The file is replaced
/// in one step.
bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText, QString* error);

}  // namespace tarsyn::aware
