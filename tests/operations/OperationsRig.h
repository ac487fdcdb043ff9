#pragma once

#include <QFile>
#include <QHash>
#include <QList>

#include "FakeClock.h"
#include "FakeSerialPort.h"
#include "ProgramRig.h"
#include "link/ControllerLink.h"
#include "monitor/CommandGate.h"
#include "monitor/LiveView.h"
#include "operations/PausedExchange.h"

namespace tarsyn::test {

/// A main window as the operations see it: a catalogue with every message they show, the poll
/// cycle's gate state and timer, an open fake port, a recording sleeper, scripted boxes, and the
/// busy cursor's state at every change and at every write to the port.
struct OperationsRig : ProgramRig {
    OperationsRig() {
        QFile lag(dir.filePath("English.lag"));
        lag.open(QIODevice::WriteOnly);
        lag.write(
            "[Messages]\r\ndl3=True value?\r\ndl4=No link\r\ndl5=Rotating\r\ndl6=Calibrated\r\n"
            "dl7=Invalid\r\ndl8=Started\r\ndl9=Stopped\r\ndl10=Restore?\r\ndl11=Restored\r\n"
            "dl12=Testing\r\ndl13=Automatic\r\njzsx1=At most 65535\r\njzsx2=At most 6553.5 V\r\n"
            "mlqr1=Start %1 now?\r\nmlqr2=Put %1 in automatic mode now?\r\nmlqr3=Stop %1 now?\r\n"
            "mlqr4=Put %1 in test state now?\r\njzts1=%1 in %2, 0 to %3:\r\n"
            "jzts2=%1: enter a number from 0 to %2.\r\njzts3=%1: the controller did not answer.\r\n"
            "jzts4=No answer: %1 sent, unconfirmed.\r\njzts5=%1: not negative, 0 to %2.\r\n");
        lag.close();
        settings.setLanguage("English");
        port.OpenPort();
        port.onWrite = [this](const QString&) { busyAtWrite << busy; };
    }

    operations::OperationServices services() {
        operations::OperationServices s{gate, poll, link, messages, prompter, [this](bool on) {
                                            busy = on;
                                            busyLog << on;
                                        }};
        s.sent = [this](const QString& control, const QString& value, const QString& request) {
            sentLog << control + QLatin1Char('|') + value + QLatin1Char('|') + request;
        };
        s.declined = [this](const QString& control, const QString& request) {
            declinedLog << control + QLatin1Char('|') + request;
        };
        s.controller = [] { return QStringLiteral("Genset 1"); };
        // The main window's labels of the calibrated readings, as the catalogue gives them.
        s.caption = [](const QString& key) {
            static const QHash<QString, QString> captions = {{"lbl11.Caption", "Generator voltage L1"},
                                                             {"lbl14.Caption", "Current L1"},
                                                             {"lbl17.Caption", "Battery voltage"},
                                                             {"lbl34.Caption", "Mains voltage L1"}};
            return captions.value(key, QStringLiteral("0"));
        };
        return s;
    }

    /// The request texts framed as they go on the wire.
    static QStringList frames(const QStringList& requestsWithCheck) {
        QStringList out;
        for (const QString& r : requestsWithCheck) out << r + QStringLiteral("\r\n");
        return out;
    }

    FakeSerialPort port;
    FakeClock clock;
    FakeSleeper sleeper{&clock};
    link::ControllerLink link{port, sleeper};
    monitor::CommandGate gate{poll, messages, prompter};
    bool busy = false;
    QList<bool> busyLog;
    QStringList sentLog;      ///< what the event journal was told: control|value|request
    QStringList declinedLog;  ///< commands the operator said No to: control|request
    QList<bool> busyAtWrite;
};

/// A LiveView that shows nothing, for a real PollCycle in these tests.
class NullView : public monitor::LiveView {
public:
    void setPanelText(const QString&, const QString&) override {}
    void setIndicatorImage(const QString&, int) override {}
    void setConnectionImage(int) override {}
    void setMode(const QString&, bool) override {}
    void setEntryTexts(const QString&, const QString&, const QString&) override {}
    void setPortText(const QString&) override {}
    QString remarkText() const override { return {}; }
};

}  // namespace tarsyn::test
