#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "FakeClock.h"
#include "HistoryTestSupport.h"
#include "PostgresVariant.h"
#include "history/CurveExport.h"
#include "history/CurveQuery.h"
#include "history/HistoryStore.h"

using namespace tarsyn;
using namespace tarsyn::history;

namespace {

const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0, 0));

HistoryRow row(const QString& sj, const QString& port, double sj1, double sj7 = 0) {
    HistoryRow r;
    r.sj = sj;
    r.port = port;
    r.values[0] = sj1;
    r.values[6] = sj7;
    return r;
}

}  // namespace

/// The curves window's read on a real database: SQLite, and with TARSYN_HISTORY_BACKEND=postgresql
/// the server named by TARSYN_TEST_PG_URL.
class TestCurveQuery : public QObject {
    Q_OBJECT

    bool m_postgres = false;
    std::unique_ptr<QTemporaryDir> m_dir;
    test::FakeClock m_clock;
    std::unique_ptr<HistoryStore> m_store;

    HistoryLocation location() const { return test::variantLocation(m_dir->filePath("kalde.db")); }
    QStringList stamps(HistoryTable table, const QString& port) {
        QStringList out;
        for (const HistoryRow& r : m_store->rowsSince(table, port, QDateTime())) out << r.sj;
        return out;
    }

private slots:
    void initTestCase() {
        m_postgres = test::postgresVariant();
        TARSYN_SKIP_POSTGRES_VARIANT_WITHOUT_SERVER();
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.set(kNow);
        m_store = std::make_unique<HistoryStore>(location());
        QVERIFY2(m_store->connect(), qPrintable(m_store->lastError()));
        if (m_postgres) {  // a fresh pair of tables on the shared server
            QSqlQuery q(QSqlDatabase::database(m_store->connectionName()));
            QVERIFY(q.exec("DROP TABLE IF EXISTS \"24xs\", \"nls\""));
            q = QSqlQuery();
            QVERIFY2(m_store->connect(), qPrintable(m_store->lastError()));
        }
    }
    void cleanup() { m_store.reset(); }

    void purgesEveryPortAndPlotsOnlyTheCurrentOne() {
        // Day chart at 12:00:00 starts at 2026-02-28 12:00:01; a row at that second stays.
        m_store->appendRows(HistoryTable::Day,
                            {row("2026-02-28 11:59:00", "A", 1), row("2026-02-28 12:00:00", "B", 2),
                             row("2026-02-28 12:00:01", "A", 3), row("2026-03-01 08:00:00", "B", 40),
                             row("2026-03-01 09:00:00", "A", 5)});
        m_store->appendRows(HistoryTable::Hour,
                            {row("2026-03-01 10:00:00", "A", 6), row("2026-03-01 10:59:59", "B", 7),
                             row("2026-03-01 11:00:00", "A", 8), row("2026-03-01 11:30:00", "B", 90),
                             row("2026-03-01 11:59:00", "A", 10)});
        CurveQuery query(*m_store, m_clock);

        const ChartData day = query.run(ChartKind::Day, "A", 0);
        QCOMPARE(stamps(HistoryTable::Day, "A"), QStringList({"2026-02-28 12:00:01", "2026-03-01 09:00:00"}));
        QCOMPARE(stamps(HistoryTable::Day, "B"), QStringList({"2026-03-01 08:00:00"}));
        QCOMPARE(m_store->rowCount(HistoryTable::Hour), 5);           // the day query leaves the hour alone
        QCOMPARE(day.points, QVector<QPointF>({{0, 3}, {1259, 5}}));  // 21 h minus one second → 1259 min
        QCOMPARE(day.maximum, 5);
        QCOMPARE(day.maximumTime, QString("09:00:00"));
        QCOMPARE(day.minimum, 3);
        QCOMPARE(day.xRange, 1439);

        const ChartData hour = query.run(ChartKind::Hour, "A", 0);
        QCOMPARE(stamps(HistoryTable::Hour, "A"),
                 QStringList({"2026-03-01 11:00:00", "2026-03-01 11:59:00"}));
        QCOMPARE(stamps(HistoryTable::Hour, "B"), QStringList({"2026-03-01 11:30:00"}));
        QCOMPARE(hour.points, QVector<QPointF>({{0, 8}, {3540, 10}}));
        QCOMPARE(hour.top, 12);
    }

    void readsTheSelectedColumn() {
        m_store->appendRows(HistoryTable::Hour, {row("2026-03-01 11:10:00", "Set 1", 400, 27.5)});
        CurveQuery query(*m_store, m_clock);
        QCOMPARE(query.run(ChartKind::Hour, "Set 1", 6).points, QVector<QPointF>({{600, 27.5}}));
        QCOMPARE(query.run(ChartKind::Hour, "Set 1", 0).points, QVector<QPointF>({{600, 400}}));
        QCOMPARE(query.run(ChartKind::Hour, "Set", 0).points.size(), 0);  // the name must match whole
    }

    void noDeviceOrNoRowsGiveAnEmptyChart() {
        CurveQuery query(*m_store, m_clock);
        const ChartData c = query.run(ChartKind::Day, QString(), 0);  // at start no port entry is current
        QVERIFY(c.points.isEmpty());
        QCOMPARE(c.maximum, 0);
        QCOMPARE(c.minimum, 0);
        QCOMPARE(c.top, 2);
    }

    void csvHoldsTheDevicesRowsOfBothWindows() {
        const QString device = QString::fromUtf8("泵站, \"东\"");
        m_store->appendRows(
            HistoryTable::Hour,
            {row("2026-03-01 10:59:59", device, 1, 99),  // before the hour
             row("2026-03-01 11:00:00", device, 2, 12.5), row("2026-03-01 11:20:00", "Other", 3, 77),
             row("2026-03-01 11:59:58", device, 4, 0.3)});
        m_store->appendRows(HistoryTable::Day, {row("2026-02-28 12:00:00", device, 5, 1),  // before the day
                                                row("2026-02-28 12:00:01", device, 6, 6553.5)});
        CurveQuery query(*m_store, m_clock);
        const QString path = m_dir->filePath("out.csv");
        QString error;
        QVERIFY2(exportCurveCsv(query, device, 6, path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray expected =
            "\xEF\xBB\xBF"
            "chart,time,value,port\r\n"
            "hour,2026-03-01 11:00:00,12.5,\"\xE6\xB3\xB5\xE7\xAB\x99, \"\"\xE4\xB8\x9C\"\"\"\r\n"
            "hour,2026-03-01 11:59:58,0.3,\"\xE6\xB3\xB5\xE7\xAB\x99, \"\"\xE4\xB8\x9C\"\"\"\r\n"
            "day,2026-02-28 12:00:01,6553.5,\"\xE6\xB3\xB5\xE7\xAB\x99, \"\"\xE4\xB8\x9C\"\"\"\r\n";
        QCOMPARE(file.readAll(), expected);
        file.close();
        // Reading for the export purges nothing.
        QCOMPARE(m_store->rowCount(HistoryTable::Hour), 4);
        QCOMPARE(m_store->rowCount(HistoryTable::Day), 2);
        // Integer channels are written as integers.
        QVERIFY(exportCurveCsv(query, "Other", 0, path, &error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF"
                                            "chart,time,value,port\r\nhour,2026-03-01 11:20:00,3,Other\r\n"));
    }

    void aChannelOutsideTheListIsRefused() {
        m_store->appendRows(HistoryTable::Day, {row("2026-02-01 00:00:00", "A", 1)});
        CurveQuery query(*m_store, m_clock);
        QVERIFY_THROWS_EXCEPTION(HistoryError, query.run(ChartKind::Day, "A", -1));
        QCOMPARE(m_store->rowCount(HistoryTable::Day), 1);  // not even the purge ran
    }
};

QTEST_GUILESS_MAIN(TestCurveQuery)
#include "tst_curveQuery.moc"
