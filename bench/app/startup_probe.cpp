// Start-up probe: builds the whole program (every window of it) on the data folder given as the first
// argument and, the moment the main window is shown, prints "shown <resident KiB>" and ends. The
// benchmark times it from process start to that line.
#include <QApplication>
#include <QWidget>

#include "ShownProbe.h"
#include "app/Program.h"

using namespace tarsyn;

int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    app::Program program(QString::fromLocal8Bit(argv[1]), QByteArrayLiteral("GBK"));
    bench::ShownProbe probe;
    program.mainWindow()->installEventFilter(&probe);
    return program.run();
}
