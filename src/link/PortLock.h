#pragma once

#include <QString>

namespace tarsyn::link {

/// The device behind a port's path with every symbolic link, "." and ".." resolved
/// (/dev/../dev/pts/1 and a link to it are both /dev/pts/1): what the lock and the check for a
/// line given twice go by. A path that does not exist comes back cleaned but unresolved.
QString RealDevicePath(const QString& devicePath);

/// The lock file of a device by the UUCP convention the serial layer follows: "LCK.." and the device
/// path below /dev with "/" as "_" (/dev/pts/1: LCK..pts_1), in the first lock folder that exists.
QString LockFilePath(const QString& realDevice);

/// The process a lock file names (its first line, in ASCII as the convention writes it), or 0.
qint64 LockOwnerPid(const QString& lockFile);

/// What the lock file of a device says before the device is opened.
struct LockCheck {
    qint64 holder = 0;  ///< a living process holds the device (whatever wrote its lock file)
    QString stuck;      ///< a stale lock that cannot be removed, and why
};

/// Removes the lock file of `realDevice` when the process it names has ended, whoever owns the file
/// (a lock left by a killed program, root's included). A lock of a living process stays and is
/// reported, whichever program wrote it: the device is in use.
LockCheck TakeOverStaleLock(const QString& realDevice);

}  // namespace tarsyn::link
