// Turns at writing one SQLite file: the recorder goes before a background writer that waits, and a
// background writer that waits sleeps instead of spinning on the processor.
#include <time.h>

#include <QtTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "history/HistoryStore.h"

using tarsyn::history::WriteTurns;

namespace {

/// Processor time this thread has used, in milliseconds.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

}  // namespace

class TestWriteTurns : public QObject {
    Q_OBJECT

private slots:
    void aWaitingRecorderGoesBeforeAWaitingWriter() {
        WriteTurns turns;
        std::mutex orderMutex;
        std::vector<char> order;
        auto note = [&](char who) {
            std::lock_guard<std::mutex> lock(orderMutex);
            order.push_back(who);
        };
        std::unique_lock<std::mutex> held = turns.first();
        std::thread writer([&] {
            auto turn = turns.after();
            note('w');
        });
        std::thread recorder([&] {
            auto turn = turns.first();
            note('r');
        });
        // The recorder has asked for its turn: from now on it is ahead of the writer, whenever the
        // writer asked.
        while (turns.firstWaiting() == 0) std::this_thread::yield();
        held.unlock();
        writer.join();
        recorder.join();
        QCOMPARE(order, (std::vector<char>{'r', 'w'}));
        QCOMPARE(turns.firstWaiting(), 0);
    }

    void aWriterWaitingBehindARecorderDoesNotSpin() {
        WriteTurns turns;
        std::unique_lock<std::mutex> held = turns.first();
        // A second recorder waits behind the first: the writer that comes after it must sleep
        // through both turns.
        std::thread recorder([&] { auto turn = turns.first(); });
        while (turns.firstWaiting() == 0) std::this_thread::yield();
        std::atomic<bool> asked{false}, got{false};
        double cpuMs = 0;
        std::thread writer([&] {
            const double before = threadCpuMs();
            asked = true;
            auto turn = turns.after();
            cpuMs = threadCpuMs() - before;
            got = true;
        });
        while (!asked) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const bool early = got;  // checked once the threads are joined
        held.unlock();
        recorder.join();
        writer.join();
        QVERIFY(!early);
        QVERIFY(got);
        // A writer that spun with yield burns most of the 300 ms; one that sleeps uses next to none.
        QVERIFY2(cpuMs < 30, qPrintable(QString("the waiting writer used %1 ms of processor").arg(cpuMs)));
    }

    void manyWritersAndRecordersAllGetTheirTurns() {
        WriteTurns turns;
        int counter = 0;  // guarded by the turn alone
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 2000; ++i) {
                    auto turn = t % 2 ? turns.after() : turns.first();
                    ++counter;
                }
            });
        for (auto& thread : threads) thread.join();
        QCOMPARE(counter, 8000);
        QCOMPARE(turns.firstWaiting(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWriteTurns)
#include "tst_writeTurns.moc"
