// What a full history costs: 100 devices recording for a day at one minute ("24xs", 144,000 rows)
// and for an hour at one second ("nls", 360,000 rows), against the same tables holding only the
// measured device's own rows (1,440 + 3,600, one hundredth). Two operations: one recording (purge and
// append of both tables) and the curve window's read of one device's day. The indexes on ("sj") and
// ("port","sj") should keep each ratio full / one device below 2. SQLite always; PostgreSQL when
// TARSYN_TEST_PG_URL names a server (scripts/pg-throwaway).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>

#include "HistoryTestSupport.h"
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

/// One database of one engine, filled for one fixture at a time.
class Bench {
public:
    Bench(QString engine, HistoryLocation location, std::unique_ptr<QTemporaryDir> dir)
        : m_engine(std::move(engine)), m_location(std::move(location)), m_dir(std::move(dir)) {}

    QString engine() const { return m_engine; }

    /// The store holding `fill`, built on first use.
    HistoryStore& store(Fill fill) {
        if (m_store && m_fill == fill) return *m_store;
        m_store.reset();
        if (m_location.kind == HistoryLocation::Kind::Sqlite) {
            QFile::remove(m_location.sqlitePath);
            QFile::remove(m_location.sqlitePath + QStringLiteral("-wal"));
            QFile::remove(m_location.sqlitePath + QStringLiteral("-shm"));
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
        const HistoryRow templ = rowFromReply(test::countingReply(), QString(), QString());
        // In time order with the devices interleaved, as recording PCs leave them.
        m_store->appendRows(HistoryTable::Day, devices * kDayRows, [&](int i) {
            HistoryRow r = templ;
            r.port = deviceName(i % devices);
            r.sj = stampText(kNow.addSecs(-60LL * (kDayRows - 1 - i / devices)));
            return r;
        });
        m_store->appendRows(HistoryTable::Hour, devices * kHourRows, [&](int i) {
            HistoryRow r = templ;
            r.port = deviceName(i % devices);
            r.sj = stampText(kNow.addSecs(-(kHourRows - 1 - i / devices)));
            return r;
        });
        {
            // Both fixtures start from the same state: statistics fresh (PostgreSQL), the write-ahead
            // log emptied (SQLite), so neither measures the tail of its own fill.
            QSqlQuery q(QSqlDatabase::database(m_store->connectionName()));
            if (m_location.kind == HistoryLocation::Kind::Postgres) {
                q.exec(QStringLiteral("ANALYZE \"24xs\""));
                q.exec(QStringLiteral("ANALYZE \"nls\""));
                q.exec(QStringLiteral("CHECKPOINT"));
            } else {
                q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            }
        }
        m_fill = fill;
        m_clock = kNow;
        m_iteration = 0;
        return *m_store;
    }

    /// One recording as the poll cycle makes it: purge and append "24xs", then "nls". The clock moves
    /// one second every 100 recordings, as with 100 devices recording every second each.
    void record(Fill fill) {
        HistoryStore& s = store(fill);
        const int devices = fill == Fill::Full ? kDevices : 1;
        if (++m_iteration % kDevices == 0) m_clock = m_clock.addSecs(1);
        const HistoryRow row = rowFromReply(m_reply, deviceName(m_iteration % devices), stampText(m_clock));
        s.record(HistoryTable::Day, m_clock.addSecs(-86399), row);
        s.record(HistoryTable::Hour, m_clock.addSecs(-3600), row);
    }

    int readDay(Fill fill) {
        return int(store(fill).rowsSince(HistoryTable::Day, deviceName(0), kNow.addSecs(-86399)).size());
    }

private:
    QString m_engine;
    HistoryLocation m_location;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HistoryStore> m_store;
    Fill m_fill = Fill::OneDevice;
    QDateTime m_clock = kNow;
    int m_iteration = 0;
    const QString m_reply = test::countingReply();
};

/// Keeps each run's time per iteration, to print the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();  // without "/min_time:…"  // in the run's time unit (µs)
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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

    struct Pair {
        std::string full, small;
    };
    std::vector<std::pair<std::string, Pair>> ratios;
    for (auto& b : benches) {
        Bench* bench = b.get();
        const std::string e = bench->engine().toStdString();
        // Reads first in each fixture, so that the rows recorded afterwards do not change what is read.
        for (Fill fill : {Fill::OneDevice, Fill::Full}) {
            const std::string f = fill == Fill::Full ? "full" : "one_device";
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
        for (const char* op : {"read_day", "record"})
            ratios.push_back({e + "/" + op, {e + "/" + op + "/full", e + "/" + op + "/one_device"}});
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    int status = 0;
    std::printf(
        "\nFull history (100 devices: 144,000 rows in 24xs, 360,000 in nls) against one device's rows:\n");
    for (const auto& [name, pair] : ratios) {
        const auto full = reporter.times.find(pair.full);
        const auto small = reporter.times.find(pair.small);
        if (full == reporter.times.end() || small == reporter.times.end() || small->second <= 0) {
            std::printf("  %-24s not measured (filtered out?)\n", name.c_str());
            continue;
        }
        const double ratio = full->second / small->second;
        const bool ok = ratio < 2.0;
        if (!ok) status = 1;
        std::printf("  %-24s full %10.1f us   one device %10.1f us   ratio %.2f  %s\n", name.c_str(),
                    full->second, small->second, ratio, ok ? "ok (< 2)" : "TOO SLOW (>= 2)");
    }
    return status;
}
