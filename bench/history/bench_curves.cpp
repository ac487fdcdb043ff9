// What the curves window costs on the user-interface thread: the query of both charts (purge of
// "24xs" and "nls", then one device's column in time order) and the drawing of both 627x133 charts.
// A history holding 100 devices' full day at one minute ("24xs", 144,000 rows) and full hour at one
// second ("nls", 360,000 rows) against the same tables holding the measured device alone (1,440 +
// 3,600 rows). The ("port","sj") and ("sj") indexes should keep the ratio full / one device below 2.
// SQLite always; PostgreSQL when TARSYN_TEST_PG_URL names a server (scripts/pg-throwaway). PostgreSQL
// tables are vacuumed after the fill, as autovacuum keeps them; TARSYN_BENCH_NO_VACUUM=1 measures them
// freshly written instead (no index-only scans then).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <memory>

#include "FakeClock.h"
#include "HistoryBench.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"
#include "history/ui/CurveChart.h"

using namespace tarsyn;
using namespace tarsyn::bench;
using namespace tarsyn::history;

namespace {

HistoryRow rowAt(int device, const QDateTime& t, int step) {
    HistoryRow r;
    r.port = deviceName(device);
    r.sj = stampText(t);
    // A voltage that wanders, so that the curve is drawn as many short segments.
    for (int c = 0; c < kValueCount; ++c)
        r.values[size_t(c)] = std::round(220 + 30 * std::sin(step / 97.0 + c));
    return r;
}

/// One database of one engine, filled for one fixture at a time.
class Bench {
public:
    explicit Bench(BenchDatabase database) : m_database(std::move(database)) {}

    const std::string& engine() const { return m_database.engine; }

    CurveQuery& query(Fill fill) {
        if (m_store && m_fill == fill) return *m_query;
        m_query.reset();
        m_store.reset();
        // On PostgreSQL the visibility map set as autovacuum leaves it (index-only scans need it);
        // TARSYN_BENCH_NO_VACUUM=1 measures the tables freshly written instead.
        m_store = FilledStore(m_database.location, fill, rowAt,
                              !qEnvironmentVariableIsSet("TARSYN_BENCH_NO_VACUUM"));
        // The clock stands still: every query purges nothing and reads the same rows.
        m_query = std::make_unique<CurveQuery>(*m_store, m_clock);
        m_fill = fill;
        return *m_query;
    }

private:
    BenchDatabase m_database;
    std::unique_ptr<HistoryStore> m_store;
    std::unique_ptr<CurveQuery> m_query;
    test::FakeClock m_clock;  // 2026-03-01 12:00:00
    Fill m_fill = Fill::OneDevice;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the time texts need fonts
    benchmark::Initialize(&argc, argv);

    std::vector<std::unique_ptr<Bench>> benches;
    for (BenchDatabase& database : BenchDatabases()) benches.push_back(std::make_unique<Bench>(database));
    std::vector<std::string> operations;
    for (auto& b : benches) {
        Bench* bench = b.get();
        const std::string& e = bench->engine();
        for (Fill fill : {Fill::OneDevice, Fill::Full}) {
            const std::string f = fillName(fill);
            // The window's query: both charts read and drawn, as btncx does.
            benchmark::RegisterBenchmark((e + "/query_and_draw/" + f).c_str(), [bench,
                                                                                fill](benchmark::State& st) {
                CurveQuery& q = bench->query(fill);  // the fill is not measured
                int points = 0;
                for (auto _ : st) {
                    const ChartData day = q.run(ChartKind::Day, deviceName(0), 0);
                    benchmark::DoNotOptimize(drawChart(day));
                    const ChartData hour = q.run(ChartKind::Hour, deviceName(0), 0);
                    benchmark::DoNotOptimize(drawChart(hour));
                    points = int(day.points.size() + hour.points.size());
                }
                st.counters["points"] = points;
            })->Unit(benchmark::kMillisecond);
            // The same without drawing, to tell the database's share.
            benchmark::RegisterBenchmark((e + "/query/" + f).c_str(), [bench, fill](benchmark::State& st) {
                CurveQuery& q = bench->query(fill);
                for (auto _ : st) {
                    benchmark::DoNotOptimize(q.run(ChartKind::Day, deviceName(0), 0));
                    benchmark::DoNotOptimize(q.run(ChartKind::Hour, deviceName(0), 0));
                }
            })->Unit(benchmark::kMillisecond);
        }
        for (const char* op : {"query_and_draw", "query"}) operations.push_back(e + "/" + op);
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf(
        "\nCurves of one device, full history (100 devices: 144,000 rows in 24xs, 360,000 in nls) "
        "against the device alone:\n");
    return PrintRatios(reporter, operations, "ms");
}
