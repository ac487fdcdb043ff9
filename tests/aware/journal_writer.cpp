// Journals events into a SQLite history as fast as it can and prints, once each is written, how many
// are ("detail" of event i is i). The crash test kills it mid-write.
// Usage: journal_writer <kalde.db path>
#include <QCoreApplication>
#include <cstdio>

#include "FakeClock.h"
#include "history/JournalStore.h"

using namespace tarsyn;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: journal_writer <database file>\n");
        return 2;
    }
    test::FakeClock clock;
    bool failed = false;
    history::JournalStore journal(history::HistoryLocation::sqliteFile(QString::fromLocal8Bit(argv[1])),
                                  clock, [&](const QString& e) {
                                      std::fprintf(stderr, "%s\n", qPrintable(e));
                                      failed = true;
                                  });
    if (!journal.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(journal.lastError()));
        return 1;
    }
    for (int i = 1; i <= 1000000; ++i) {
        clock.advanceMs(10);
        journal.record(history::JournalKind::AlarmRaised, QStringLiteral("w"), QString::number(i));
        journal.flush();
        if (failed) return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}
