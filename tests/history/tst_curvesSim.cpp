// The virtual controller's live replies through the recorder into the history and back out as the
// curves of every channel: what the curves window shows after some minutes of polling. The controller
// is the simulator's request handler in-process behind the fake port.
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "SimPort.h"
#include "history/CurveQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"

using namespace tarsyn;
using namespace tarsyn::history;

class TestCurvesSim : public QObject {
    Q_OBJECT
private slots:
    void everyChannelHasItsHourAndDayCurve() {
        test::SimPort sim(test::SimPort::Running);
        test::FakeSleeper sleeper(&sim.clock);  // the controller's time moves with the waits
        link::ControllerLink link(sim.port, sleeper);
        QTemporaryDir dir;
        HistoryStore store(HistoryLocation::sqliteFile(dir.filePath("kalde.db")));
        QVERIFY2(store.connect(), qPrintable(store.lastError()));
        test::FakeClock clock;  // the recorder's, 12:00:00
        QStringList errors;
        HistoryRecorder recorder(
            store, clock, [] { return QStringLiteral("1"); }, [] { return QStringLiteral("10"); },
            [&errors](const QString& e) { errors << e; });

        constexpr int kReplies = 5;
        QStringList replies;
        for (int i = 0; i < kReplies; ++i) {
            link.Transaction(QStringLiteral("000400060030"), 106, 250);
            replies << link.LastReply();
            QVERIFY2(replies.last().size() >= 104, qPrintable(replies.last()));
            recorder.recordLiveReply(replies.last(), QStringLiteral(" Genset 1\t"));
            clock.advanceSecs(61);  // a row is due in both tables at every reply
        }
        recorder.flush();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));

        CurveQuery query(store, clock);
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const ChartData hour = query.run(ChartKind::Hour, QStringLiteral("Genset 1"), channel);
            const ChartData day = query.run(ChartKind::Day, QStringLiteral("Genset 1"), channel);
            QCOMPARE(hour.points.size(), kReplies);
            QCOMPARE(day.points.size(), kReplies);
            for (int i = 0; i < kReplies; ++i) QCOMPARE(hour.points[i].y(), day.points[i].y());
            // Replies 61 s apart: the hour chart's x in seconds, the day chart's in minutes.
            QCOMPARE(hour.points[1].x() - hour.points[0].x(), 61.0);
            QCOMPARE(day.points[1].x() - day.points[0].x(), 1.0);
        }
        // Three channels read straight from the reply: generator voltage A (position 67, 4 digits),
        // battery voltage (91, 4 digits, tenths), power factor (45, 2 digits, hundredths).
        struct Field {
            int channel, position, width, divisor;
        };
        for (const Field& f : {Field{0, 67, 4, 1}, Field{6, 91, 4, 10}, Field{16, 45, 2, 100}}) {
            const ChartData hour = query.run(ChartKind::Hour, QStringLiteral("Genset 1"), f.channel);
            for (int i = 0; i < kReplies; ++i)
                QCOMPARE(hour.points[i].y(),
                         double(link::HexField(replies[i], f.position, f.width)) / f.divisor);
        }
        // A running set shows a generator voltage: its curve is above zero.
        QVERIFY(query.run(ChartKind::Day, QStringLiteral("Genset 1"), 0).maximum > 0);
    }
};

QTEST_MAIN(TestCurvesSim)
#include "tst_curvesSim.moc"
