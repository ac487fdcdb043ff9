#include <QtTest>

#include "aware/JournalTexts.h"

using namespace tarsyn::aware;

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
};

QTEST_GUILESS_MAIN(TestJournalTexts)
#include "tst_journalTexts.moc"
