// What a full history costs: 100 devices recording for a day at one minute ("24xs", 144,000 rows)
// and for an hour at one second ("nls", 360,000 rows), against the same tables holding only the
// measured device's own rows (1,440 + 3,600, one hundredth). Two operations: one recording (purge and
// append of both tables) and the curve window's read of one device's day. The indexes on ("sj") and
// ("port","sj") should keep each ratio full / one device below 2. SQLite always; PostgreSQL when
// TARSYN_TEST_PG_URL names a server (scripts/pg-throwaway).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "HistoryBench.h"
#include "HistoryTestSupport.h"
#include "history/HistoryStore.h"

using namespace tarsyn;
using namespace tarsyn::bench;
using namespace tarsyn::history;

namespace {

/// One database of one engine, filled for one fixture at a time.
class Bench {
public:
    explicit Bench(BenchDatabase database) : m_database(std::move(database)) {}

    const std::string& engine() const { return m_database.engine; }

    /// The store holding `fill`, built on first use.
    HistoryStore& store(Fill fill) {
        if (m_store && m_fill == fill) return *m_store;
        m_store.reset();
        const HistoryRow templ = rowFromReply(test::countingReply(), QString(), QString());
        m_store = FilledStore(
            m_database.location, fill,
            [&templ](int device, const QDateTime& t, int) {
                HistoryRow r = templ;
                r.port = deviceName(device);
                r.sj = stampText(t);
                return r;
            },
            false);
        m_fill = fill;
        m_clock = kNow;
        m_iteration = 0;
        return *m_store;
    }

    /// One recording as the poll cycle makes it: purge and append "24xs", then "nls". The clock moves
    /// one second every 100 recordings, as with 100 devices recording every second each.
    void record(Fill fill) {
        HistoryStore& s = store(fill);
        if (++m_iteration % kDevices == 0) m_clock = m_clock.addSecs(1);
        const HistoryRow row =
            rowFromReply(m_reply, deviceName(m_iteration % deviceCount(fill)), stampText(m_clock));
        s.record(HistoryTable::Day, m_clock.addSecs(-86399), row);
        s.record(HistoryTable::Hour, m_clock.addSecs(-3600), row);
    }

    int readDay(Fill fill) {
        return int(store(fill).rowsSince(HistoryTable::Day, deviceName(0), kNow.addSecs(-86399)).size());
    }

private:
    BenchDatabase m_database;
    std::unique_ptr<HistoryStore> m_store;
    Fill m_fill = Fill::OneDevice;
    QDateTime m_clock = kNow;
    int m_iteration = 0;
    const QString m_reply = test::countingReply();
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    std::vector<std::unique_ptr<Bench>> benches;
    for (BenchDatabase& database : BenchDatabases()) benches.push_back(std::make_unique<Bench>(database));
    std::vector<std::string> operations;
    for (auto& b : benches) {
        Bench* bench = b.get();
        const std::string& e = bench->engine();
        // Reads first in each fixture, so that the rows recorded afterwards do not change what is read.
        for (Fill fill : {Fill::OneDevice, Fill::Full}) {
            const std::string f = fillName(fill);
            benchmark::RegisterBenchmark((e + "/read_day/" + f).c_str(), [bench, fill](benchmark::State& st) {
                bench->store(fill);  // the fill is not measured
                int rows = 0;
                for (auto _ : st) rows = bench->readDay(fill);
                st.counters["rows"] = rows;
            })->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((e + "/record/" + f).c_str(),
                                         [bench, fill](benchmark::State& st) {
                                             bench->store(fill);
                                             for (auto _ : st) bench->record(fill);
                                         })
                ->Unit(benchmark::kMicrosecond)
                // Commits wait for the disk, and the first writes after the fill's checkpoint copy whole
                // pages into the log: short runs measure mostly that noise.
                ->MinTime(2.0);
        }
        for (const char* op : {"read_day", "record"}) operations.push_back(e + "/" + op);
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf(
        "\nFull history (100 devices: 144,000 rows in 24xs, 360,000 in nls) against one device's rows:\n");
    return PrintRatios(reporter, operations, "us");
}
