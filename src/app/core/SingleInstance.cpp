#include "app/core/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cerrno>

namespace tarsyn::app {

namespace {
QString currentUser() {
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QString::number(::getuid()) : user;
}
}  // namespace

QString SingleInstance::defaultLockFilePath(const QString& name) {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::tempPath();
    // The mutex name holds characters that are awkward in file names; a digest keeps the key exact.
    const QByteArray key = QCryptographicHash::hash((name + QLatin1Char('\n') + currentUser()).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    return QDir(dir).filePath(QStringLiteral(".tarsyn-%1.lock").arg(QString::fromLatin1(key)));
}

SingleInstance::SingleInstance(const QString& name) : m_path(defaultLockFilePath(name)) {}

SingleInstance SingleInstance::atPath(const QString& lockFilePath) {
    return SingleInstance(AtPath{}, lockFilePath);
}

SingleInstance::SingleInstance(SingleInstance&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(other.m_fd), m_held(other.m_held) {
    other.m_fd = -1;
    other.m_held = false;
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) ::close(m_fd);  // releases the lock
}

bool SingleInstance::acquire() {
    if (held()) return true;
    const QByteArray path = QFile::encodeName(m_path);
    // O_CLOEXEC: a child process (the help viewer, a printer filter) must not inherit the guard.
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return true;
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_held = true;
        return true;
    }
    const bool taken = errno == EWOULDBLOCK;
    ::close(m_fd);
    m_fd = -1;
    return !taken;
}

}  // namespace tarsyn::app
