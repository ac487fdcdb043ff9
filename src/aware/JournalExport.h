#pragma once

#include <QString>
#include <QVector>
#include <functional>

#include "config/CatalogueText.h"
#include "history/JournalStore.h"

namespace tarsyn::aware {

/// The catalogue text of a journal kind: message "jk" + its code ("jkalarm-raised"), looked up with
/// `message` (a missing key gives "0", as every message does).
QString JournalKindText(history::JournalKind kind, const std::function<QString(const QString&)>& message);

/// A journal detail as the operator reads it, and the program's own names it held.
struct JournalDetail {
    QString text;     ///< "Emergency stop", "Start", "Sensor curves, block 1: …"
    QString objects;  ///< "zs9", "dport3", "TForm7 rbsd1": window and control names, space separated
    QString frames;   ///< "0005100100FF": the frame a command sent, for the export only
};

/// Splits a stored detail ("zs9 Emergency stop", "Start (dport3, 000500…)", "Sensor curves (TForm7),
/// block 1: Sensor (rbsd1): 0 → 1") into the words the operator sees and the window and control names,
/// which only an export keeps (they say exactly which control was meant).
JournalDetail SplitJournalDetail(const QString& detail);

/// The one way an event's detail is said to a reader: from the event's values ("data") in `catalogue`'s
/// language, so that an event recorded in one language reads in another; an event without values (a
/// row written by an older program) or one whose message the catalogue lacks shows its stored detail,
/// split as SplitJournalDetail() does, with a trailing frame "(0005100100FF)" moved to `frames`.
JournalDetail RenderJournalDetail(const history::JournalEvent& event, const config::Catalogue& catalogue);

/// Writes the events to `path` as CSV in UTF-8 with a byte-order mark (so that spreadsheet programs
/// read the Chinese texts right), the detail as RenderJournalDetail() says it in `catalogue`'s language,
/// then a column "objects" of the window and control names and a last column "frames" of the frames a
/// command sent; false with the system's reason in `error`. The file is replaced in one step.
bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText,
                     const config::Catalogue& catalogue, QString* error);

}  // namespace tarsyn::aware
