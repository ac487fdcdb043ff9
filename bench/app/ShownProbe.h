#pragma once
// What both start-up probes do the moment their window is shown: print "shown <resident KiB>" and end.
#include <QEvent>
#include <QFile>
#include <QObject>
#include <cstdio>
#include <cstdlib>

namespace tarsyn::bench {

/// VmRSS of this process in KiB; -1 when /proc cannot tell.
inline long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

/// Installed on the window whose showing ends the measurement.
class ShownProbe : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            std::printf("shown %ld\n", residentKiB());
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }
};

}  // namespace tarsyn::bench
