// The yardstick for the start-up benchmark: the smallest Qt Widgets program that shows one window,
// built in the same tree with the same flags. Prints "shown <resident KiB>" when its window is shown.
#include <QApplication>
#include <QLabel>

#include "ShownProbe.h"

using namespace tarsyn;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Tarsyn"));
    bench::ShownProbe probe;
    window.installEventFilter(&probe);
    window.show();
    return application.exec();
}
