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
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

#include "FakeClock.h"
#include "history/CurveChart.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"

using namespace tarsyn;
using namespace tarsyn::history;

namespace {

constexpr int kDevices = 100;
constexpr int kDayRows = 1440;   // per device: 24 h at one minute
constexpr int kHourRows = 3600;  // per device: 1 h at one second
const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0, 0));

QString deviceName(int d) { return QStringLiteral("dev%1").arg(d, 3, 10, QLatin1Char('0')); }

enum class Fill { OneDevice, Full };

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
    Bench(QString engine, HistoryLocation location, std::unique_ptr<QTemporaryDir> dir)
        : m_engine(std::move(engine)), m_location(std::move(location)), m_dir(std::move(dir)) {}

    QString engine() const { return m_engine; }

    CurveQuery& query(Fill fill) {
        if (m_store && m_fill == fill) return *m_query;
        m_query.reset();
        m_store.reset();
        if (m_location.kind == HistoryLocation::Kind::Sqlite) {
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(m_location.sqlitePath + QLatin1String(suffix));
        }
        m_store = std::make_unique<HistoryStore>(m_location);
        if (!m_store->connect()) qFatal("%s", qPrintable(m_store->lastError()));
        if (m_location.kind == HistoryLocation::Kind::Postgres) {
            QSqlQuery q(QSqlDatabase::database(m_store->connectionName()));
            q.exec(QStringLiteral("DROP TABLE IF EXISTS \"24xs\", \"nls\""));
            q = QSqlQuery();
            if (!m_store->connect()) qFatal("%s", qPrintable(m_store->lastError()));
        }
        const int devices = fill == Fill::Full ? kDevices : 1;
        // In time order with the devices interleaved, as recording PCs leave them.
        m_store->appendRows(HistoryTable::Day, devices * kDayRows, [&](int i) {
            const int step = i / devices;
            return rowAt(i % devices, kNow.addSecs(-60LL * (kDayRows - 1 - step)), step);
        });
        m_store->appendRows(HistoryTable::Hour, devices * kHourRows, [&](int i) {
            const int step = i / devices;
            return rowAt(i % devices, kNow.addSecs(-(kHourRows - 1 - step)), step);
        });
        {
            QSqlQuery q(QSqlDatabase::database(m_store->connectionName()));
            // Steady state: statistics fresh, and on PostgreSQL the visibility map set as autovacuum
            // leaves it (index-only scans need it), the write-ahead log emptied on SQLite.
            if (m_location.kind == HistoryLocation::Kind::Postgres) {
                const char* prepare =
                    qEnvironmentVariableIsSet("TARSYN_BENCH_NO_VACUUM") ? "ANALYZE" : "VACUUM ANALYZE";
                q.exec(QStringLiteral("%1 \"24xs\"").arg(QLatin1String(prepare)));
                q.exec(QStringLiteral("%1 \"nls\"").arg(QLatin1String(prepare)));
                q.exec(QStringLiteral("CHECKPOINT"));
            } else {
                q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            }
        }
        // The clock stands still: every query purges nothing and reads the same rows.
        m_query = std::make_unique<CurveQuery>(*m_store, m_clock);
        m_fill = fill;
        return *m_query;
    }

private:
    QString m_engine;
    HistoryLocation m_location;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HistoryStore> m_store;
    std::unique_ptr<CurveQuery> m_query;
    test::FakeClock m_clock;  // 2026-03-01 12:00:00
    Fill m_fill = Fill::OneDevice;
};

/// Keeps each run's time per iteration, to print the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();  // in the run's unit (ms)
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the time texts need fonts
    benchmark::Initialize(&argc, argv);

    std::vector<std::unique_ptr<Bench>> benches;
    auto dir = std::make_unique<QTemporaryDir>();
    const QString file = dir->filePath(QStringLiteral("kalde.db"));
    benches.push_back(
        std::make_unique<Bench>(QStringLiteral("sqlite"), HistoryLocation::sqliteFile(file), std::move(dir)));
    const QString url = qEnvironmentVariable("TARSYN_TEST_PG_URL");
    if (!url.isEmpty()) {
        const HistoryLocation pg = HistoryLocation::fromSetting(url, QString());
        if (pg.kind != HistoryLocation::Kind::Postgres)
            qFatal("TARSYN_TEST_PG_URL: %s", qPrintable(pg.error));
        benches.push_back(std::make_unique<Bench>(QStringLiteral("postgresql"), pg, nullptr));
    } else {
        std::fprintf(stderr, "TARSYN_TEST_PG_URL is not set: PostgreSQL is not measured\n");
    }

    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> ratios;
    for (auto& b : benches) {
        Bench* bench = b.get();
        const std::string e = bench->engine().toStdString();
        for (Fill fill : {Fill::OneDevice, Fill::Full}) {
            const std::string f = fill == Fill::Full ? "full" : "one_device";
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
        for (const char* op : {"query_and_draw", "query"})
            ratios.push_back({e + "/" + op, {e + "/" + op + "/full", e + "/" + op + "/one_device"}});
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    int status = 0;
    std::printf(
        "\nCurves of one device, full history (100 devices: 144,000 rows in 24xs, 360,000 in nls) "
        "against the device alone:\n");
    for (const auto& [name, pair] : ratios) {
        const auto full = reporter.times.find(pair.first);
        const auto small = reporter.times.find(pair.second);
        if (full == reporter.times.end() || small == reporter.times.end() || small->second <= 0) {
            std::printf("  %-30s not measured (filtered out?)\n", name.c_str());
            continue;
        }
        const double ratio = full->second / small->second;
        const bool ok = ratio < 2.0;
        if (!ok) status = 1;
        std::printf("  %-30s full %8.1f ms   one device %8.1f ms   ratio %.2f  %s\n", name.c_str(),
                    full->second, small->second, ratio, ok ? "ok (< 2)" : "TOO SLOW (>= 2)");
    }
    return status;
}
