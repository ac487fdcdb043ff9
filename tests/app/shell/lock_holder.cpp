// Takes the single-instance guard like the program does: a second copy ends at once with code 0 and
// says nothing; the copy that holds the guard prints "held" and waits until it is killed or stdin ends.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "app/core/SingleInstance.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    tarsyn::app::SingleInstance guard = tarsyn::app::SingleInstance::atPath(QFile::decodeName(argv[1]));
    if (!guard.acquire()) return 0;
    std::puts("held");
    std::fflush(stdout);
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
    }
    return 0;
}
