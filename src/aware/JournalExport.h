#pragma once

#include <QString>
#include <QVector>
#include <functional>

#include "history/JournalStore.h"

namespace tarsyn::aware {

/// The catalogue text of a journal kind: message "jk" + its code ("jkalarm-raised"), looked up with
/// `message` (a missing key gives "0", as every message does).
QString JournalKindText(history::JournalKind kind, const std::function<QString(const QString&)>& message);

/// Writes the events to `path` as CSV in UTF-8 with a byte-order mark (so that spreadsheet programs
/// read the Chinese texts right); false with the reason in `error`. The file is replaced in one step.
bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText, QString* error);

}  // namespace tarsyn::aware
