// Start-up probe: builds the whole program (every window of it) on the data folder given as the first
// argument and, the moment the main window is shown, prints "shown <resident KiB>" and ends. The
// benchmark times it from process start to that line.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "app/Program.h"

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

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

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    tarsyn::app::Program program(QString::fromLocal8Bit(argv[1]), QByteArrayLiteral("GBK"));
    ShownProbe probe;
    program.mainWindow()->installEventFilter(&probe);
    return program.run();
}
