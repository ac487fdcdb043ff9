#include <QtTest>

#include "history/CurveData.h"
#include "history/HistoryStore.h"

using namespace tarsyn::history;

namespace {

const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0, 0));

QVector<HistoryPoint> rows(const QList<QPair<QString, double>>& list) {
    QVector<HistoryPoint> out;
    for (const auto& r : list) out.append({r.first, r.second});
    return out;
}

}  // namespace

/// The curves window's channel table and chart summaries, without a database.
class TestCurveData : public QObject {
    Q_OBJECT

private slots:
    void channelsNameColumnsAndUnits() {
        QCOMPARE(int(curveChannels().size()), 20);
        // Keys of the main window's labels, in list order.
        const QStringList keys = {"lbl11", "lbl12", "lbl13", "lbl14", "lbl15", "lbl16", "lbl17",
                                  "lbl21", "lbl22", "lbl23", "lbl24", "lbl25", "lbl26", "lbl27",
                                  "lbl31", "lbl32", "lbl33", "lbl34", "lbl35", "lbl36"};
        const QStringList units = {"V", "V", "V",   "A",   "A",  "A", "V", "HZ", "HZ", "PRM",
                                   "C", "C", "Kpa", "Kpa", "KW", "",  "",  "V",  "V",  "V"};
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(QString::fromLatin1(curveChannels()[size_t(i)].key), keys[i] + ".Caption");
            QCOMPARE(channelUnit(i), units[i]);
            QCOMPARE(channelColumn(i), QString("sj%1").arg(i + 1));
        }
        QVERIFY(channelUnit(15).isEmpty());
        QVERIFY(channelUnit(16).isEmpty());
        QVERIFY(channelColumn(-1).isEmpty());  // never "sj0"
        QVERIFY(channelColumn(20).isEmpty());
    }

    void typedTextMatchesAnEntryOrNothing() {
        const QStringList entries = {"Volt A", "0", "Speed", "0"};
        QCOMPARE(matchChannel(entries, 2, "Speed"), 2);
        QCOMPARE(matchChannel(entries, 3, "0"), 3);      // the selected duplicate stays selected
        QCOMPARE(matchChannel(entries, 0, "Speed"), 2);  // typed over the selection
        QCOMPARE(matchChannel(entries, -1, "0"), 1);
        QCOMPARE(matchChannel(entries, 0, "Speed 2"), -1);
        QCOMPARE(matchChannel(entries, -1, ""), -1);
    }

    void roundingTakesHalvesToEven_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rounded");
        QTest::newRow("0.5") << 0.5 << 0;
        QTest::newRow("1.5") << 1.5 << 2;
        QTest::newRow("2.5") << 2.5 << 2;
        QTest::newRow("2.51") << 2.51 << 3;
        QTest::newRow("-0.0001") << -0.0001 << 0;
        QTest::newRow("313.5") << 313.5 << 314;
        QTest::newRow("66.5") << 66.5 << 66;
    }
    void roundingTakesHalvesToEven() {
        QFETCH(double, value);
        QFETCH(int, rounded);
        QCOMPARE(roundHalfEven(value), rounded);
    }

    void axisTopFromMaximum_data() {
        QTest::addColumn<double>("maximum");
        QTest::addColumn<int>("top");
        QTest::newRow("10 -> 12") << 10.0 << 12;
        QTest::newRow("1 -> 3 (round(1.2) = 1, 1 + 2)") << 1.0 << 3;
        QTest::newRow("100 -> 120") << 100.0 << 120;
        QTest::newRow("no rows -> 2") << -0.0001 << 2;
        QTest::newRow("12.5 -> 15 (round(12.5) = 12)") << 12.5 << 15;
    }
    void axisTopFromMaximum() {
        QFETCH(double, maximum);
        QFETCH(int, top);
        QCOMPARE(axisTop(maximum), top);
    }

    void summaryOfRows_data() {
        QTest::addColumn<QVector<HistoryPoint>>("rows");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("maximumTime");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<QString>("minimumTime");
        QTest::addColumn<int>("top");
        // Day chart at 12:00:00: starts 2026-02-28 12:00:01.
        QTest::newRow("no rows: 0, 0, top 2, start times")
            << QVector<HistoryPoint>() << 0 << "12:00:01" << 0 << "12:00:01" << 2;
        QTest::newRow("equal maxima and minima: the earliest") << rows({{"2026-03-01 08:00:00", 4},
                                                                        {"2026-03-01 09:00:00", 10},
                                                                        {"2026-03-01 10:00:00", 10},
                                                                        {"2026-03-01 10:30:00", 4}})
                                                               << 10 << "09:00:00" << 4 << "08:00:00" << 12;
        QTest::newRow("maximum 1 gives top 3")
            << rows({{"2026-03-01 08:00:00", 1}}) << 1 << "08:00:00" << 1 << "08:00:00" << 3;
        QTest::newRow("maximum 100 gives top 120")
            << rows({{"2026-02-28 20:00:00", 100}, {"2026-03-01 11:00:00", 0}}) << 100 << "20:00:00" << 0
            << "11:00:00" << 120;
        QTest::newRow("quotients round half to even")
            << rows({{"2026-03-01 08:00:00", 2.5}, {"2026-03-01 08:01:00", 0.5}}) << 2 << "08:00:00" << 0
            << "08:01:00" << 4;
        QTest::newRow("all at zero: the minimum is a row's")
            << rows({{"2026-03-01 08:00:00", 0}, {"2026-03-01 08:01:00", 0}}) << 0 << "08:00:00" << 0
            << "08:00:00" << 2;
    }
    void summaryOfRows() {
        QFETCH(QVector<HistoryPoint>, rows);
        const ChartData c = buildChart(ChartKind::Day, kNow, rows);
        QTEST(c.maximum, "maximum");
        QTEST(c.maximumTime, "maximumTime");
        QTEST(c.minimum, "minimum");
        QTEST(c.minimumTime, "minimumTime");
        QTEST(c.top, "top");
        QCOMPARE(c.points.size(), rows.size());
    }

    void zeroRowsLeaveMaximumBelowZeroUnseen() {
        // Only a value strictly above −0.0001 takes the maximum: a row of 0 does, at its own time.
        const ChartData c = buildChart(ChartKind::Hour, kNow, rows({{"2026-03-01 11:30:00", 0}}));
        QCOMPARE(c.maximumTime, QString("11:30:00"));
        QCOMPARE(c.maximumX, 1800);
    }

    void pointsInWholeUnitsFromTheStart() {
        // Day: start 2026-02-28 12:00:01, minutes truncated; hour: start 11:00:00, seconds.
        const ChartData day = buildChart(ChartKind::Day, kNow,
                                         rows({{"2026-02-28 12:00:01", 1},
                                               {"2026-02-28 12:01:00", 2},
                                               {"2026-02-28 12:01:01", 3},
                                               {"2026-03-01 11:59:00", 4},
                                               {"2026-03-01 12:00:00", 5}}));
        QCOMPARE(day.start, QDateTime(QDate(2026, 2, 28), QTime(12, 0, 1)));
        QCOMPARE(day.xRange, 1439);
        const QList<double> dayX = {0, 0, 1, 1438, 1439};
        for (int i = 0; i < dayX.size(); ++i) {
            QCOMPARE(day.points[i].x(), dayX[i]);
            QCOMPARE(day.points[i].y(), double(i + 1));
        }
        QCOMPARE(day.maximumX, 1439);

        const ChartData hour = buildChart(
            ChartKind::Hour, kNow, rows({{"2026-03-01 11:00:00", 7.5}, {"2026-03-01 11:59:50", 0.25}}));
        QCOMPARE(hour.xRange, 3600);
        QCOMPARE(hour.points[0], QPointF(0, 7.5));
        QCOMPARE(hour.points[1], QPointF(3590, 0.25));
        QCOMPARE(hour.minimumX, 3590);
        QCOMPARE(hour.maximum, 8);  // 7.5 rounds to the even 8
    }

    void labelsAroundTheCharts() {
        const ChartData day = buildChart(ChartKind::Day, kNow, rows({{"2026-03-01 08:00:00", 1}}));
        ChartLabels l = chartLabels(day);
        QCOMPARE(l.top, QString("3"));
        QCOMPARE(l.middle, QString("1.5"));
        QCOMPARE(l.bottom, QString("0"));
        QCOMPARE(QStringList(l.x.begin(), l.x.end()),
                 QStringList({"12:00:01", "18:00:01", "00:00:01", "06:00:01", "12:00:00"}));
        QCOMPARE(l.maximum, QString("1"));
        QCOMPARE(l.minimum, QString("1"));

        const ChartData hour = buildChart(ChartKind::Hour, kNow, rows({{"2026-03-01 11:10:00", 10}}));
        l = chartLabels(hour);
        QCOMPARE(l.top, QString("12"));
        QCOMPARE(l.middle, QString("6.0"));
        QCOMPARE(QStringList(l.x.begin(), l.x.end()),
                 QStringList({"11:00:00", "11:15:00", "11:30:00", "11:45:00", "12:00:00"}));
    }

    void aRowThatIsNoTimeEndsTheQuery() {
        QVERIFY_THROWS_EXCEPTION(HistoryError,
                                 buildChart(ChartKind::Day, kNow, rows({{"2026-03-01 8:00:00", 1}})));
        QVERIFY_THROWS_EXCEPTION(HistoryError,
                                 buildChart(ChartKind::Hour, kNow, rows({{"2026-02-30 08:00:00", 1}})));
    }
};

QTEST_GUILESS_MAIN(TestCurveData)
#include "tst_curveData.moc"
