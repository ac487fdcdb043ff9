#include <QtTest>

#include "aware/JournalExport.h"
#include "aware/JournalTexts.h"
#include "config/Config.h"

using namespace tarsyn::aware;
using tarsyn::config::Catalogue;
using tarsyn::history::JournalEvent;
using tarsyn::history::JournalKind;

namespace {
/// The catalogue the program ships for `language`.
Catalogue shipped(const QString& language) {
    const tarsyn::config::Config config(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data"));
    return Catalogue::load(config, language);
}
}  // namespace

class TestJournalTexts : public QObject {
    Q_OBJECT
private slots:
    void texts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("settings saved") << settingsSavedText({"English", "2", "5", "60", 3})
                                        << "language=English flash=2 save1=5 save2=60 ports=3";
        QTest::newRow("settings saved, no ports")
            << settingsSavedText({QString::fromUtf8("中文"), "6", "60", "1", 0})
            << QString::fromUtf8("language=中文 flash=6 save1=60 save2=1 ports=0");
        QTest::newRow("super login") << loginSucceededText(true) << "super";
        QTest::newRow("ordinary login") << loginSucceededText(false) << "ordinary";
        QTest::newRow("first wrong password") << loginFailedText(1) << "attempt 1";
        QTest::newRow("third wrong password") << loginFailedText(3) << "attempt 3";
        QTest::newRow("command") << commandText("Start", "dport3", "0005100100FF")
                                 << "Start (dport3, 0005100100FF)";
        QTest::newRow("command with a comma in its caption")
            << commandText("Reset, stop", "dport4", "0005100200FF") << "Reset, stop (dport4, 0005100200FF)";
        QTest::newRow("calibration") << calibrationSentText("Generator voltage A", "231", "btnjz1",
                                                            "000600C0E7")
                                     << "Generator voltage A = 231 (btnjz1, 000600C0E7)";
        QTest::newRow("history dropped") << historyDroppedText(12) << "12 rows over the limit of the spool";
        QTest::newRow("history dropped, many")
            << historyDroppedText(5000000000LL) << "5000000000 rows over the limit of the spool";
    }
    void texts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // An event is said in the reader's language whatever the language it was recorded in: the
    // detail column holds the recording session's words, the values hold what it was.
    void eventsReadInTheReadersLanguage_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("detail");  // as a session recorded it
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        QTest::addColumn<QString>("objects");
        QTest::addColumn<QString>("frames");
        const auto zh = [](const char* t) { return QString::fromUtf8(t); };
        QTest::newRow("alarm recorded in Chinese")
            << int(JournalKind::AlarmRaised) << zh("zs9 紧急停机") << alarmData("zs9") << "Emergency stop"
            << zh("紧急停机") << "zs9"
            << "";
        QTest::newRow("own limit recorded in Chinese")
            << int(JournalKind::WatchRaised) << zh("pnl17 自设限值: 电池电压 低于 23 (22.8)")
            << watchData("pnl17", true, 23, 22.8) << "Own limit: Battery voltage below 23 (22.8)"
            << zh("自设限值: 电池电压 低于 23 (22.8)") << "pnl17"
            << "";
        QTest::newRow("own limit above, recorded in English")
            << int(JournalKind::WatchCleared) << "pnl17 Own limit: Battery voltage above 28.5 (28.1)"
            << watchData("pnl17", false, 28.5, 28.1) << "Own limit: Battery voltage above 28.5 (28.1)"
            << zh("自设限值: 电池电压 高于 28.5 (28.1)") << "pnl17"
            << "";
        QTest::newRow("command: its name; the frame only for the export")
            << int(JournalKind::CommandSent) << zh("启动模块 (dport3, 0005100100FF)")
            << commandData("dport3", "0005100100FF") << "Start" << zh("启动模块") << "dport3"
            << "0005100100FF";
        QTest::newRow("command declined")
            << int(JournalKind::CommandDeclined) << "Reset (dport5, 0005100200FF)"
            << commandData("dport5", "0005100200FF") << "Reset" << zh("复位停机") << "dport5"
            << "0005100200FF";
        QTest::newRow("command from the broker")
            << int(JournalKind::CommandSent) << "Start (dport3, 0005100100FF), origin mqtt, client hq"
            << remoteCommandData("dport3", "0005100100FF", "hq") << "Start, sent by MQTT client hq"
            << zh("启动模块，由 MQTT 客户端 hq 发送") << "dport3"
            << "0005100100FF";
        QTest::newRow("calibration") << int(JournalKind::CalibrationSent)
                                     << zh("校准电池电压 = 24.5 (btn17, 0006002E00F5)")
                                     << calibrationSentData("btn17", "24.5", "0006002E00F5")
                                     << "Calibrate the battery voltage = 24.5" << zh("校准电池电压 = 24.5")
                                     << "btn17"
                                     << "0006002E00F5";
        QTest::newRow("settings saved")
            << int(JournalKind::SettingsSaved) << "language=English flash=2 save1=5 save2=60 ports=2"
            << settingsSavedData({"English", "2", "5", "60", 2})
            << "language English, refresh 2 s, 1-hour table every 5 s, 24-hour table every 60 min, 2 ports"
            << zh("语言 English，刷新时间 2 秒，1小时表每 5 秒，24小时表每 60 分钟，2 个端口") << ""
            << "";
        QTest::newRow("login") << int(JournalKind::LoginSucceeded) << "super" << loginSucceededData(true)
                               << "super user" << zh("超级管理员") << ""
                               << "";
        QTest::newRow("wrong password") << int(JournalKind::LoginFailed) << "attempt 2" << loginFailedData(2)
                                        << "wrong password, attempt 2" << zh("密码错误，第 2 次") << ""
                                        << "";
        QTest::newRow("history dropped")
            << int(JournalKind::HistoryDropped) << "12 rows over the limit of the spool"
            << historyDroppedData(12) << "12 rows over the limit of the spool"
            << zh("12 行超出缓存上限，未写入") << ""
            << "";
        // Rows of an older program have no values: their detail, names and frame taken out.
        QTest::newRow("old row: command") << int(JournalKind::CommandSent) << "Start (dport3, 0005100100FF)"
                                          << ""
                                          << "Start"
                                          << "Start"
                                          << "dport3"
                                          << "0005100100FF";
        QTest::newRow("old row: alarm") << int(JournalKind::AlarmRaised) << zh("zs9 紧急停机") << ""
                                        << zh("紧急停机") << zh("紧急停机") << "zs9"
                                        << "";
        QTest::newRow("old row: a value in brackets is no frame")
            << int(JournalKind::BlockWritten) << "SMS settings (Tgsm), block 2: Phone 1 = (13800000000)"
            << ""
            << "SMS settings, block 2: Phone 1 = (13800000000)"
            << "SMS settings, block 2: Phone 1 = (13800000000)"
            << "Tgsm"
            << "";
        // Values of a newer program whose message this catalogue lacks: the detail as recorded.
        QTest::newRow("unknown message") << int(JournalKind::AlarmRaised) << "zs9 Emergency stop"
                                         << "{\"k\":\"jdfromthefuture\",\"a\":[]}"
                                         << "Emergency stop"
                                         << "Emergency stop"
                                         << "zs9"
                                         << "";
        QTest::newRow("garbled values") << int(JournalKind::AlarmRaised) << "zs9 Emergency stop"
                                        << "{not json"
                                        << "Emergency stop"
                                        << "Emergency stop"
                                        << "zs9"
                                        << "";
    }
    void eventsReadInTheReadersLanguage() {
        QFETCH(int, kind);
        QFETCH(QString, detail);
        QFETCH(QString, data);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        QFETCH(QString, objects);
        QFETCH(QString, frames);
        JournalEvent e;
        e.kind = JournalKind(kind);
        e.detail = detail;
        e.data = data;
        const JournalDetail inEnglish = RenderJournalDetail(e, shipped(QStringLiteral("English")));
        const JournalDetail inChinese = RenderJournalDetail(e, shipped(QStringLiteral("Chinese")));
        QCOMPARE(inEnglish.text, english);
        QCOMPARE(inChinese.text, chinese);
        QCOMPARE(inEnglish.objects, objects);
        QCOMPARE(inChinese.objects, objects);
        QCOMPARE(inEnglish.frames, frames);
        QCOMPARE(inChinese.frames, frames);
    }
};

QTEST_GUILESS_MAIN(TestJournalTexts)
#include "tst_journalTexts.moc"
