#include "PseudoTerminal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>

namespace tarsyn::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    removeLink();
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
}

bool PseudoTerminal::open() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        m_error = systemError("posix_openpt");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        m_error = systemError("grantpt/unlockpt");
        return false;
    }
    const char* name = ptsname(m_master);
    if (!name) {
        m_error = systemError("ptsname");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        m_error = systemError("open slave");
        return false;
    }
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0) {
        m_error = systemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B2400);
    cfsetospeed(&tio, B2400);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        m_error = systemError("tcsetattr");
        return false;
    }
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

bool PseudoTerminal::createLink(const QString& linkPath) {
    const QByteArray path = QFile::encodeName(linkPath);
    struct stat st {};
    if (lstat(path.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            m_error = QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(linkPath);
            return false;
        }
        if (unlink(path.constData()) != 0) {
            m_error = systemError("removing the old link");
            return false;
        }
    }
    if (symlink(QFile::encodeName(m_slavePath).constData(), path.constData()) != 0) {
        m_error = systemError("symlink");
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PseudoTerminal::discardUnread() {
    if (m_slave >= 0) tcflush(m_slave, TCIFLUSH);
}

void PseudoTerminal::removeLink() {
    if (m_linkPath.isEmpty()) return;
    // A newer simulator may have taken the path over; its link is not ours to remove.
    if (QFile::symLinkTarget(m_linkPath) == m_slavePath) QFile::remove(m_linkPath);
    m_linkPath.clear();
}

}  // namespace tarsyn::sim
