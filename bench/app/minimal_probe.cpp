// The yardstick for the start-up benchmark: the smallest Qt Widgets program that shows one window,
// built in the same tree with the same flags. Prints "shown <resident KiB>" when its window is shown.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <cstdio>
#include <cstdlib>

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
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Tarsyn"));
    ShownProbe probe;
    window.installEventFilter(&probe);
    window.show();
    return application.exec();
}
