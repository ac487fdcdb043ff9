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
/// How a restore goes: everything, or only what differs (the default); for real, or only listed.
struct RestoreMode {
    bool all = false;     ///< every word of every block the file holds, unread
    bool dryRun = false;  ///< list what would be written, send nothing: exit 0 nothing, 1 something
};

/// Writes the blocks `file` holds (asks first unless --yes), checking them all before the first
/// frame goes out, and reports each field the controller did not take. Unless `mode.all`, the blocks
/// are read first and only the stored words that differ are written (a block that holds the file's
/// values already is not written at all), each read back whole.
int Restore(Session& session, const QString& file, const RestoreMode& mode);
/// Compares the controller with `file`, field by field, for every block the file holds; prints each
/// difference (a line each, or with `json` one JSON object: port, file, fields compared and the
/// differences) and returns kExitDiffers when there is one.
int Diff(Session& session, const QString& file, bool json);

}  // namespace tarsyn::cli
