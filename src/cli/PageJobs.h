#pragma once

#include <QString>
#include <QStringList>

namespace tarsyn::pages {
struct Page;
}

namespace tarsyn::cli {

class Session;

/// The page of a `page` sub-command: delays, curves, system, bits, limits, sms; nullptr otherwise.
const pages::Page* PageByName(const QString& name);
/// The six names in the windows' menu order.
QStringList PageNames();

/// Reads every block of `page` from the controller and prints them as system.ini's page sections.
int PageRead(Session& session, const pages::Page& page);
/// Loads every block of `page` from `file` (system.ini's page sections), checks all of them as the
/// windows do, then writes and reads back each block. Nothing is sent when any field is refused.
int PageWrite(Session& session, const pages::Page& page, const QString& file);
/// Reads the six pages into `file`, one ini file with system.ini's page sections.
int Backup(Session& session, const QString& file);
/// Writes every block `file` holds (asks first unless --yes), checking them all before the first
/// frame goes out, and reports each field the controller did not take.
int Restore(Session& session, const QString& file);
/// Compares the controller with `file`, field by field, for every block the file holds; prints each
/// difference and returns kExitDiffers when there is one.
int Diff(Session& session, const QString& file);

}  // namespace tarsyn::cli
