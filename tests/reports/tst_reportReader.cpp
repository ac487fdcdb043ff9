// The printed report's read: the delays and the four bit bytes, each used only when its reply is
// long enough; errors swallowed, polling resumed in every case.
#include <QtTest>

#include "FakeClock.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "reports/ReportReader.h"

using namespace tarsyn;
using reports::ReportReader;

namespace {

class RecordingSurface : public reports::ReportSurface {
public:
    void setPanelText(const QString& panel, const QString& text) override { panels[panel] = text; }
    void setIndicatorImage(const QString& indicator, int image) override { images[indicator] = image; }
    QHash<QString, QString> panels;
    QHash<QString, int> images;
    /// The indicators showing a set bit, sorted.
    QStringList lit() const {
        QStringList names;
        for (auto it = images.begin(); it != images.end(); ++it)
            if (it.value() == 1) names << it.key();
        names.sort();
        return names;
    }
};

/// A whole reply to a block read of the given data bytes (hexadecimal digits), check and CR LF included.
QString reply(const QString& dataHex) {
    QString r = QStringLiteral("0004") + link::ToHex(quint32(dataHex.size() / 2), 2) + dataHex;
    return r + link::ToHex(quint32(link::XorCheck(r)), 2) + QStringLiteral("\r\n");
}

// The delays 1, 2, … 22, the last FF.
QString delayData() {
    QString d;
    for (int i = 1; i < 22; ++i) d += link::ToHex(quint32(i), 2);
    return d + QStringLiteral("FF");
}

struct Fixture {
    test::FakeSerialPort port;
    test::FakePollControl poll;
    test::FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    ReportReader reader{link, poll};
    RecordingSurface surface;
    QString delays = reply(delayData());
    QString bits = reply(QStringLiteral("00000000"));
    int delayKeep = -1, bitsKeep = -1;
    Fixture() {
        port.OpenPort();
        port.onWrite = [this](const QString& line) {
            if (line.startsWith(QLatin1String("000400360016")))
                port.arrive(delayKeep < 0 ? delays : delays.left(delayKeep));
            else if (line.startsWith(QLatin1String("0004001A0004")))
                port.arrive(bitsKeep < 0 ? bits : bits.left(bitsKeep));
        };
        ReportReader::clear(surface);
    }
};

}  // namespace

class TestReportReader : public QObject {
    Q_OBJECT
private slots:
    void readsBothBlocksInsideTheGuard() {
        Fixture f;
        f.reader.read(f.surface);
        QCOMPARE(f.port.written.size(), 2);
        QVERIFY(f.port.written[0].startsWith("000400360016"));
        QVERIFY(f.port.written[1].startsWith("0004001A0004"));
        QCOMPARE(f.sleeper.sleeps, (QList<int>{600, 500, 300}));
        QCOMPARE(f.surface.panels.value("pnl41"), QStringLiteral("1"));
        QCOMPARE(f.surface.panels.value("pnl46"), QStringLiteral("6"));
        QCOMPARE(f.surface.panels.value("pnl51"), QStringLiteral("7"));
        QCOMPARE(f.surface.panels.value("pnl73"), QStringLiteral("21"));
        QCOMPARE(f.surface.panels.value("pnl74"), QStringLiteral("255"));  // FF
        QCOMPARE(f.poll.stops, 1);
        QCOMPARE(f.poll.resumes, 1);
        QVERIFY(f.poll.running);
    }

    void delaysNeedMoreThanFiftyCharacters_data() {
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("pnl74");
        // More than 50 characters were once enough; the check (characters 51-52) must be there now.
        QTest::newRow("50 characters: not used") << 50 << "0";
        QTest::newRow("51 characters, half a check: not used") << 51 << "0";
        QTest::newRow("52 characters: used") << 52 << "255";
        QTest::newRow("53 characters, as read") << 53 << "255";
    }
    void delaysNeedMoreThanFiftyCharacters() {
        QFETCH(int, keep);
        QFETCH(QString, pnl74);
        Fixture f;
        f.delayKeep = keep;
        f.reader.read(f.surface);
        QCOMPARE(f.surface.panels.value("pnl74"), pnl74);
        QCOMPARE(f.surface.panels.value("pnl41"), pnl74 == "0" ? QStringLiteral("0") : QStringLiteral("1"));
    }

    void indicators_data() {
        QTest::addColumn<QString>("data");  // alarms, states, inputs, outputs
        QTest::addColumn<int>("keep");
        QTest::addColumn<QStringList>("lit");
        QTest::newRow("alarm 81: emergency stop and voltage fault")
            << "81000000" << -1 << QStringList{"btnzs1", "btnzs9"};
        QTest::newRow("state 80: speed change failure") << "00800000" << -1 << QStringList{"btnzs16"};
        QTest::newRow("state 40: overload") << "00400000" << -1 << QStringList{"btnzs7"};
        QTest::newRow("input 01, output 80") << "00000180" << -1 << QStringList{"btnzs17", "btnzs34"};
        QTest::newRow("16 characters, with the check, are enough")
            << "81000001" << 16 << QStringList{"btnzs1", "btnzs26", "btnzs9"};
        QTest::newRow("14, without the check, are not") << "81000001" << 14 << QStringList{};
    }
    void indicators() {
        QFETCH(QString, data);
        QFETCH(int, keep);
        QFETCH(QStringList, lit);
        Fixture f;
        f.bits = reply(data);
        f.bitsKeep = keep;
        f.reader.read(f.surface);
        QCOMPARE(f.surface.lit(), lit);
        QCOMPARE(f.surface.images.size(), 32);
    }

    void alarmPicturesAreTheNineAlarms() {
        QStringList alarms;
        for (const QString& b : ReportReader::IndicatorButtons())
            if (ReportReader::AlarmIndicator(b)) alarms << b;
        alarms.sort();
        QCOMPARE(alarms, (QStringList{"btnzs1", "btnzs2", "btnzs3", "btnzs4", "btnzs5", "btnzs6", "btnzs7",
                                      "btnzs8", "btnzs9"}));
        QCOMPARE(ReportReader::IndicatorButtons().size(), 32);
        QCOMPARE(ReportReader::DelayPanels().size(), 22);
    }

    void aClosedPortFillsNothingAndPollingResumes() {
        Fixture f;
        f.port.ClosePort();
        f.reader.read(f.surface);
        QCOMPARE(f.surface.panels.value("pnl41"), QStringLiteral("0"));
        QVERIFY(f.surface.lit().isEmpty());
        QVERIFY(f.poll.running);
        QCOMPARE(f.poll.pollState, 1);
    }

    // A delays reply with a field that is not hexadecimal fails its check: none of it is filled, not
    // even the delays before the bad field, and the bits are read all the same.
    void anUnreadableFieldSpoilsTheWholeReply() {
        Fixture f;
        f.delays.replace(12, 2, QStringLiteral("ZZ"));  // positions 13-14, the fourth delay, pnl44
        f.bits = reply(QStringLiteral("81000000"));
        f.reader.read(f.surface);
        QCOMPARE(f.surface.panels.value("pnl43"), QStringLiteral("0"));
        QCOMPARE(f.surface.panels.value("pnl44"), QStringLiteral("0"));
        QCOMPARE(f.surface.panels.value("pnl74"), QStringLiteral("0"));
        QCOMPARE(f.surface.lit(), (QStringList{"btnzs1", "btnzs9"}));
        QCOMPARE(f.port.written.size(), 2);
        QVERIFY(f.poll.running);
    }
};

QTEST_GUILESS_MAIN(TestReportReader)
#include "tst_reportReader.moc"
