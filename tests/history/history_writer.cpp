// Records live replies into a SQLite history as fast as it can and prints, after each reply, the
// number of rows committed so far ("sj1" of row i holds i). The crash test kills it mid-write.
// Usage: history_writer <kalde.db path>
#include <QCoreApplication>
#include <cstdio>

#include "FakeClock.h"
#include "HistoryTestSupport.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

using namespace tarsyn;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: history_writer <database file>\n");
        return 2;
    }
    history::HistoryStore store(history::HistoryLocation::sqliteFile(QString::fromLocal8Bit(argv[1])));
    if (!store.connect()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
        return 1;
    }
    test::FakeClock clock;
    bool failed = false;
    history::HistoryRecorder recorder(
        store, clock, [] { return QStringLiteral("0"); }, [] { return QStringLiteral("0"); },
        [&](const QString& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e));
            failed = true;
        });
    for (quint32 i = 1; i <= 65535; ++i) {
        std::array<quint32, history::kValueCount> raw{};
        raw[0] = i;
        clock.advanceSecs(2);
        recorder.recordLiveReply(test::liveReply(raw), QStringLiteral("w"));
        recorder.flush();  // committed by the writer thread (or in the spool) before it is reported
        if (failed || !recorder.isOk()) return 1;
        std::printf("%u\n", i);
        std::fflush(stdout);
    }
    return 0;
}
