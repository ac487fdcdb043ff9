// tarsynctl: the controllers from the command line, built from the window program's logic libraries
// with no widgets and no display, so that it runs over SSH on a box without a screen.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "cli/Tarsynctl.h"

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("tarsynctl " TARSYN_VERSION);
        return 0;
    }
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarsynctl"));
    return tarsyn::cli::RunTarsynctl(QCoreApplication::arguments().mid(1),
                                     QCoreApplication::applicationDirPath());
}
