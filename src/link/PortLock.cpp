#include "link/PortLock.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tarsyn::link {

namespace {

// The serial layer's lock folders, in the order it tries them (the first readable one that holds
// the file or may take it); Debian's /var/lock is /run/lock.
const char* const kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

QString ownerName(uid_t uid) {
    if (const passwd* pw = ::getpwuid(uid)) return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(uid);
}

}  // namespace

QString RealDevicePath(const QString& devicePath) {
#ifdef Q_OS_WIN
    return devicePath;
#else
    char resolved[PATH_MAX];
    if (::realpath(QFile::encodeName(devicePath).constData(), resolved)) return QFile::decodeName(resolved);
    return QDir::cleanPath(devicePath);
#endif
}

QString LockFilePath(const QString& realDevice) {
    QString name = realDevice.startsWith(QLatin1String("/dev/")) ? realDevice.mid(5) : realDevice;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));
    for (const char* folder : kLockFolders) {
        const QString dir = QString::fromLatin1(folder);
        const QFileInfo info(dir);
        if (info.isReadable() && (QFile::exists(dir + name) || info.isWritable())) return dir + name;
    }
    return {};
}

qint64 LockOwnerPid(const QString& lockFile) {
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    bool ok = false;
    const qint64 pid = file.readLine(64).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

LockCheck TakeOverStaleLock(const QString& realDevice) {
#ifdef Q_OS_WIN
    Q_UNUSED(realDevice);
    return {};
#else
    const QString lockFile = LockFilePath(realDevice);
    if (lockFile.isEmpty()) return {};
    const QByteArray path = QFile::encodeName(lockFile);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return {};  // no lock: the serial layer takes one
    const qint64 pid = LockOwnerPid(lockFile);
    if (pid <= 0 || pid > INT_MAX) return {};  // not the convention's: the serial layer judges it
    // A process of another user answers EPERM: it lives. Only "no such process" makes a lock stale.
    if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) return {pid, {}};
    if (::unlink(path.constData()) == 0 || errno == ENOENT) return {};
    const int error = errno;
    return {0, QStringLiteral(
                   "the lock file %1 names process %2, which has ended, but belongs to %3 and this user may "
                   "not remove it (%4): remove it as root")
                   .arg(lockFile)
                   .arg(pid)
                   .arg(ownerName(st.st_uid), QString::fromLocal8Bit(std::strerror(error)))};
#endif
}

}  // namespace tarsyn::link
