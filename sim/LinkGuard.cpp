#include "LinkGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarsyn::sim {

qint64 simulatorServingLink(const QString& linkPath) {
    const QFileInfo link(linkPath);
    if (!link.isSymLink()) return 0;
    const QString device = link.symLinkTarget();
    if (device.isEmpty() || !QFileInfo::exists(device)) return 0;  // dangling: left by a killed one
    const qint64 self = QCoreApplication::applicationPid();
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self) continue;
        QFile comm(proc.filePath(entry + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "tarsyn-sim") continue;
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
            if (QFile::symLinkTarget(fds.filePath(fd)) == device) return pid;
    }
    return 0;
}

}  // namespace tarsyn::sim
