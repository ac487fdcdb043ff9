#pragma once
// What the history benchmarks share: the two fills (100 devices' full day at one minute and full hour
// at one second, or the measured device alone), the databases they are measured on (SQLite always,
// PostgreSQL when TARSYN_TEST_PG_URL names a server), and the ratio of full to one device.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryStore.h"

namespace tarsyn::bench {

constexpr int kDevices = 100;
constexpr int kDayRows = 1440;   // per device: 24 h at one minute
constexpr int kHourRows = 3600;  // per device: 1 h at one second
inline const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0, 0));

inline QString deviceName(int d) { return QStringLiteral("dev%1").arg(d, 3, 10, QLatin1Char('0')); }

enum class Fill { OneDevice, Full };
inline std::string fillName(Fill fill) { return fill == Fill::Full ? "full" : "one_device"; }
inline int deviceCount(Fill fill) { return fill == Fill::Full ? kDevices : 1; }

/// A row of `device` at time `t`, the `step`-th of its table.
using RowMaker = std::function<history::HistoryRow(int device, const QDateTime& t, int step)>;

/// An empty store of `location` (the SQLite file removed, the PostgreSQL tables dropped) filled with
/// `fill`: in time order with the devices interleaved, as recording PCs leave the tables. Then both
/// fixtures start from the same state: statistics fresh (PostgreSQL; `vacuum` also sets the
/// visibility map as autovacuum leaves it), the write-ahead log emptied (SQLite), so that neither
/// measures the tail of its own fill.
inline std::unique_ptr<history::HistoryStore> FilledStore(const history::HistoryLocation& location, Fill fill,
                                                          const RowMaker& rowAt, bool vacuum) {
    using history::HistoryLocation;
    using history::HistoryTable;
    if (location.kind == HistoryLocation::Kind::Sqlite)
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(location.sqlitePath + QLatin1String(suffix));
    auto store = std::make_unique<history::HistoryStore>(location);
    if (!store->connect()) qFatal("%s", qPrintable(store->lastError()));
    if (location.kind == HistoryLocation::Kind::Postgres) {
        QSqlQuery q(QSqlDatabase::database(store->connectionName()));
        q.exec(QStringLiteral("DROP TABLE IF EXISTS \"24xs\", \"nls\""));
        q = QSqlQuery();
        if (!store->connect()) qFatal("%s", qPrintable(store->lastError()));
    }
    const int devices = deviceCount(fill);
    store->appendRows(HistoryTable::Day, devices * kDayRows, [&](int i) {
        const int step = i / devices;
        return rowAt(i % devices, kNow.addSecs(-60LL * (kDayRows - 1 - step)), step);
    });
    store->appendRows(HistoryTable::Hour, devices * kHourRows, [&](int i) {
        const int step = i / devices;
        return rowAt(i % devices, kNow.addSecs(-(kHourRows - 1 - step)), step);
    });
    QSqlQuery q(QSqlDatabase::database(store->connectionName()));
    if (location.kind == HistoryLocation::Kind::Postgres) {
        const QString prepare = vacuum ? QStringLiteral("VACUUM ANALYZE") : QStringLiteral("ANALYZE");
        q.exec(prepare + QStringLiteral(" \"24xs\""));
        q.exec(prepare + QStringLiteral(" \"nls\""));
        q.exec(QStringLiteral("CHECKPOINT"));
    } else {
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    return store;
}

/// A database to measure: its engine's name, where it is, and the folder of a SQLite file.
struct BenchDatabase {
    std::string engine;
    history::HistoryLocation location;
    std::shared_ptr<QTemporaryDir> dir;
};

/// SQLite in a folder of its own; PostgreSQL too when TARSYN_TEST_PG_URL names a server.
inline std::vector<BenchDatabase> BenchDatabases() {
    using history::HistoryLocation;
    std::vector<BenchDatabase> databases;
    auto dir = std::make_shared<QTemporaryDir>();
    databases.push_back(
        {"sqlite", HistoryLocation::sqliteFile(dir->filePath(QStringLiteral("kalde.db"))), dir});
    const QString url = qEnvironmentVariable("TARSYN_TEST_PG_URL");
    if (!url.isEmpty()) {
        const HistoryLocation pg = HistoryLocation::fromSetting(url, QString());
        if (pg.kind != HistoryLocation::Kind::Postgres)
            qFatal("TARSYN_TEST_PG_URL: %s", qPrintable(pg.error));
        databases.push_back({"postgresql", pg, nullptr});
    } else {
        std::fprintf(stderr, "TARSYN_TEST_PG_URL is not set: PostgreSQL is not measured\n");
    }
    return databases;
}

/// Keeps each run's time per iteration (in the run's own unit), to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();  // without "/min_time:…"
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

/// Prints "<operation> full … one device … ratio" for each "<engine>/<operation>" whose "/full" and
/// "/one_device" runs were measured; non-zero when a ratio is 2 or more.
inline int PrintRatios(const RatioReporter& reporter, const std::vector<std::string>& operations,
                       const char* unit) {
    int status = 0;
    for (const std::string& name : operations) {
        const auto full = reporter.times.find(name + "/full");
        const auto small = reporter.times.find(name + "/one_device");
        if (full == reporter.times.end() || small == reporter.times.end() || small->second <= 0) {
            std::printf("  %-30s not measured (filtered out?)\n", name.c_str());
            continue;
        }
        const double ratio = full->second / small->second;
        const bool ok = ratio < 2.0;
        if (!ok) status = 1;
        std::printf("  %-30s full %10.1f %s   one device %10.1f %s   ratio %.2f  %s\n", name.c_str(),
                    full->second, unit, small->second, unit, ratio, ok ? "ok (< 2)" : "TOO SLOW (>= 2)");
    }
    return status;
}

}  // namespace tarsyn::bench
