// A port that cannot be opened: no box, but the status strip names the device and the reason.
#include <QTemporaryDir>
#include <QtTest>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "RecordingView.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/LinkError.h"
#include "link/QtSerialPort.h"
#include "monitor/PollCycle.h"
#include "monitor/PortProblem.h"

using namespace tarsyn;
using Reason = link::PortOpenError::Reason;

Q_DECLARE_METATYPE(Reason)

namespace {

link::PortOpenError openError(Reason reason, const QString& device = "/dev/ttyUSB0") {
    return link::PortOpenError("Could not open " + device, device, reason, "Input/output error");
}

}  // namespace

class TestPortProblem : public QObject {
    Q_OBJECT
private slots:
    // The texts of the shipped catalogues, and the English text when a catalogue lacks them.
    void textPerReason_data() {
        QTest::addColumn<QString>("catalogue");  // empty: a catalogue without these messages
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English, denied")
            << "English" << Reason::PermissionDenied
            << "cannot open /dev/ttyUSB0: permission denied - is the user in the dialout group?";
        QTest::newRow("English, missing")
            << "English" << Reason::NoSuchDevice
            << "cannot open /dev/ttyUSB0: no such device - is the adapter plugged in?";
        QTest::newRow("English, busy")
            << "English" << Reason::InUse << "cannot open /dev/ttyUSB0: in use by another program";
        QTest::newRow("English, other")
            << "English" << Reason::Other << "cannot open /dev/ttyUSB0: Input/output error";
        QTest::newRow("Chinese, denied") << "Chinese" << Reason::PermissionDenied
                                         << "无法打开 /dev/ttyUSB0：权限不足——当前用户是否在 dialout 组中？";
        QTest::newRow("no catalogue, denied")
            << "" << Reason::PermissionDenied
            << "cannot open /dev/ttyUSB0: permission denied - is the user in the dialout group?";
    }
    void textPerReason() {
        QFETCH(QString, catalogue);
        QFETCH(Reason, reason);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + "/data/";
        if (!catalogue.isEmpty())
            QVERIFY(QFile::copy(source + catalogue + ".lag", dir.filePath(catalogue + ".lag")));
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setLanguage(catalogue.isEmpty() ? "None" : catalogue);
        config::Messages messages(config, settings);
        QCOMPARE(monitor::PortProblemText(messages, "ttyUSB0", openError(reason)), expected);
        // An error that is not about opening still names the port and says what happened.
        QVERIFY(
            monitor::PortProblemText(messages, "ttyUSB0", link::SerialError("Could not configure ttyUSB0"))
                .contains("ttyUSB0"));
    }

    // The poll cycle's connection step: the strip explains a failed open, and clears once it opens.
    void connectionStepShowsAndClearsTheProblem() {
        QTemporaryDir dir;
        config::Config config(dir.path());
        config::LiveSettings settings;
        settings.setLanguage("English");
        settings.setRefreshText("6");
        settings.setPorts({{"ttyUSB0", "Gen A", ""}});
        config::Messages messages(config, settings);
        test::FakeClock clock;
        test::FakeSleeper sleeper{&clock};
        test::FakeSerialPort port;
        test::RecordingView view;
        monitor::PollCycle cycle(port, sleeper, clock, settings, messages, view);
        cycle.initialise(true);
        bool denied = true;
        port.raiseOnOpen = [&](const QString&) {
            if (denied) throw openError(Reason::PermissionDenied);
        };
        QSignalSpy boxes(&cycle, &monitor::PollCycle::tickFailed);
        cycle.tick();
        QCOMPARE(view.portProblem,
                 QString("cannot open /dev/ttyUSB0: permission denied - is the user in the dialout group?"));
        QCOMPARE(view.connection, monitor::kNotLinkedImage);
        QCOMPARE(boxes.count(), 0);  // the connection step itself stays silent

        denied = false;  // the user was added to the group; the next connection step opens
        clock.advanceSecs(7);
        cycle.tick();
        QVERIFY(port.Connected());
        QCOMPARE(view.portProblem, QString());
    }

    // The real serial layer with names it cannot open for reasons other than a refusal: the strip
    // says the system's reason, never "permission denied - is the user in the dialout group?".
    void realReasonsForNamesThatCannotBeOpened_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("says");
        QTest::newRow("300 characters") << QString("c").repeated(300) << int(Reason::Other) << "too long";
        QTest::newRow("missing folder") << "/nonexistent-folder/ttyUSB0" << int(Reason::NoSuchDevice) << "";
    }
    void realReasonsForNamesThatCannotBeOpened() {
        QFETCH(QString, name);
        QFETCH(int, reason);
        QFETCH(QString, says);
        link::QtSerialPort port;
        port.setPortName(name);
        try {
            port.OpenPort();
            QFAIL("opened");
        } catch (const link::PortOpenError& e) {
            QCOMPARE(int(e.reason()), reason);
            QVERIFY2(e.systemText().contains(says, Qt::CaseInsensitive), qPrintable(e.systemText()));
        }
    }
};

QTEST_GUILESS_MAIN(TestPortProblem)
#include "tst_portProblem.moc"
