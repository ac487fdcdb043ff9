// The journal window and the watch-limit editor offscreen: the filter and the CSV of a known journal
// give the exact rows; the editor writes system.ini [Watch] and hands the limits on, or refuses a row.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "AwareSupport.h"
#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "aware/JournalTexts.h"
#include "aware/ui/JournalWindow.h"
#include "aware/ui/WatchLimitEditor.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

using namespace tarsyn;
using history::JournalKind;

namespace {
struct Rig {
    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    test::ScriptedPrompter prompter;
    test::FakeClock clock;
    Rig() {
        test::copyCatalogue(dir.path());
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "ports", "2"},
                                         {"Set", "port0", "COM1"},
                                         {"Set", "remark0", "Set A"},
                                         {"Set", "port1", "COM2"},
                                         {"Set", "remark1", "Set B"}});
        settings.load(config);
    }
};
}  // namespace

class TestAwareWindows : public QObject {
    Q_OBJECT
private slots:
    void journalWindowFiltersAndExportsTheRowsShown() {
        Rig r;
        history::JournalStore journal(history::HistoryLocation::sqliteFile(r.dir.filePath("kalde.db")),
                                      r.clock);
        QVERIFY(journal.open());
        auto at = [&](int day, int h, JournalKind k, const char* c, const char* d) {
            r.clock.set(QDateTime(QDate(2026, 3, day), QTime(h, 0, 0)));
            journal.record(k, QString::fromUtf8(c), QString::fromUtf8(d));
        };
        at(1, 8, JournalKind::LoginFailed, "", "attempt 1");
        at(1, 9, JournalKind::AlarmRaised, "Set A", "zs9 Emergency stop");
        at(2, 9, JournalKind::LinkLost, "Set B", "");
        at(3, 9, JournalKind::AlarmCleared, "Set A", "zs9 Emergency stop");

        aware::ui::JournalWindow w(journal, r.config, r.settings, r.messages, r.prompter);
        QCOMPARE(w.objectName(), QStringLiteral("TForm18"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Event journal"));
        w.refresh();
        auto* table = w.findChild<QTableWidget*>("lvjournal");
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("Alarm cleared"));
        QCOMPARE(table->horizontalHeaderItem(3)->text(), QStringLiteral("Detail"));

        auto* controller = w.findChild<QComboBox*>("cbbctl");
        QCOMPARE(controller->count(), 3);  // (all), Set A, Set B
        controller->setCurrentText(QStringLiteral("Set A"));
        w.findChild<QCheckBox*>("chkrange")->setChecked(true);
        w.findChild<QDateTimeEdit*>("dtfrom")->setDateTime(QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
        // A range starts "up to now": the events after it was set are not hidden.
        auto* upToNow = w.findChild<QCheckBox*>("chkuptonow");
        QVERIFY(upToNow->isChecked());
        QVERIFY(!w.findChild<QDateTimeEdit*>("dtto")->isEnabled());
        w.findChild<QPushButton*>("btnquery")->click();
        QCOMPARE(table->rowCount(), 2);
        r.clock.set(QDateTime(QDate(2026, 3, 4), QTime(9, 0)));
        journal.record(JournalKind::AlarmRaised, QStringLiteral("Set A"),
                       QStringLiteral("zs9 Emergency stop"));
        w.findChild<QPushButton*>("btnquery")->click();
        QCOMPARE(table->rowCount(), 3);
        // The controls' names stay out of the table.
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("Emergency stop"));
        upToNow->setChecked(false);
        QVERIFY(w.findChild<QDateTimeEdit*>("dtto")->isEnabled());
        w.findChild<QDateTimeEdit*>("dtto")->setDateTime(QDateTime(QDate(2026, 3, 2), QTime(23, 59, 59)));
        w.findChild<QPushButton*>("btnquery")->click();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2026-03-01 09:00:00"));

        // A range in use stays as set; one not in use ends at the time of the next opening.
        r.clock.set(QDateTime(QDate(2026, 3, 5), QTime(7, 30)));
        w.refresh();
        QCOMPARE(w.findChild<QDateTimeEdit*>("dtto")->dateTime(),
                 QDateTime(QDate(2026, 3, 2), QTime(23, 59, 59)));
        w.findChild<QCheckBox*>("chkrange")->setChecked(false);
        w.refresh();
        QCOMPARE(w.findChild<QDateTimeEdit*>("dtfrom")->dateTime(),
                 QDateTime(QDate(2026, 3, 4), QTime(7, 30)));
        QCOMPARE(w.findChild<QDateTimeEdit*>("dtto")->dateTime(), QDateTime(QDate(2026, 3, 5), QTime(7, 30)));
        auto* kind = w.findChild<QComboBox*>("cbbkind");
        kind->setCurrentIndex(kind->findText(QStringLiteral("Alarm cleared")));
        controller->setCurrentIndex(0);
        w.query();
        QCOMPARE(table->rowCount(), 1);

        kind->setCurrentIndex(0);
        controller->setCurrentText(QStringLiteral("Set A"));
        w.query();
        const QString path = r.dir.filePath("out.csv");
        w.setFileChooser([&path](QWidget*, const QString&) { return path; });
        w.findChild<QPushButton*>("btnjrcsv")->click();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xEF\xBB\xBF"
                                         "time,controller,kind,detail,objects,frames\r\n"
                                         "2026-03-04 09:00:00,Set A,Alarm raised,Emergency stop,zs9,\r\n"
                                         "2026-03-03 09:00:00,Set A,Alarm cleared,Emergency stop,zs9,\r\n"
                                         "2026-03-01 09:00:00,Set A,Alarm raised,Emergency stop,zs9,\r\n"));
        QVERIFY(r.prompter.shown.isEmpty());
        // A file that cannot be written is said in the operator's language, with the system's reason.
        const QString nowhere = r.dir.filePath("no-such-folder/out.csv");
        w.setFileChooser([&nowhere](QWidget*, const QString&) { return nowhere; });
        w.findChild<QPushButton*>("btnjrcsv")->click();
        QCOMPARE(r.prompter.shown.size(), 1);
        QVERIFY2(r.prompter.shown[0].contains(QStringLiteral("The journal could not be written to ") +
                                              QDir::toNativeSeparators(nowhere) + QStringLiteral(": ")),
                 qPrintable(r.prompter.shown[0]));
    }

    // Events recorded in a Chinese session read in English in an English window and the other way
    // round, again at a language switch; a row of an older program shows its detail; the export says the
    // events in the language in effect and keeps the names and the frames.
    void journalWindowSaysEventsInTheLanguageInEffect() {
        Rig r;
        QVERIFY(test::copyCatalogue(r.dir.path(), QStringLiteral("Chinese")));
        history::JournalStore journal(history::HistoryLocation::sqliteFile(r.dir.filePath("kalde.db")),
                                      r.clock);
        QVERIFY(journal.open());
        r.clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 0, 0)));
        journal.record(JournalKind::CommandSent, QStringLiteral("Set A"),
                       QStringLiteral("Start (dport3, 0005100100FF)"));  // an older program's row
        r.clock.set(QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0)));
        journal.recordWithData(JournalKind::AlarmRaised, QStringLiteral("Set A"),
                               QString::fromUtf8("zs9 紧急停机"), aware::alarmData(QStringLiteral("zs9")));
        r.clock.set(QDateTime(QDate(2026, 3, 1), QTime(11, 0, 0)));
        journal.recordWithData(JournalKind::CommandSent, QStringLiteral("Set A"),
                               QString::fromUtf8("复位停机 (dport5, 0005100200FF)"),
                               aware::commandData(QStringLiteral("dport5"), QStringLiteral("0005100200FF")));
        r.clock.set(QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0)));
        journal.recordWithData(JournalKind::WatchRaised, QStringLiteral("Set A"),
                               QStringLiteral("pnl17 Own limit: Battery voltage below 23 (22.8)"),
                               aware::watchData(QStringLiteral("pnl17"), true, 23, 22.8));

        aware::ui::JournalWindow w(journal, r.config, r.settings, r.messages, r.prompter);
        w.refresh();
        auto* table = w.findChild<QTableWidget*>("lvjournal");
        const auto details = [table] {
            QStringList out;
            for (int row = 0; row < table->rowCount(); ++row) out << table->item(row, 3)->text();
            return out;
        };
        QCOMPARE(details(), (QStringList{"Own limit: Battery voltage below 23 (22.8)", "Reset",
                                         "Emergency stop", "Start"}));
        r.settings.setLanguage(QStringLiteral("Chinese"));  // Shift+End
        w.relabel();
        QCOMPARE(details(),
                 (QStringList{QString::fromUtf8("自设限值: 电池电压 低于 23 (22.8)"),
                              QString::fromUtf8("复位停机"), QString::fromUtf8("紧急停机"), "Start"}));
        QCOMPARE(table->item(1, 2)->text(), QString::fromUtf8("发送命令"));

        const QString path = r.dir.filePath("chinese.csv");
        w.setFileChooser([&path](QWidget*, const QString&) { return path; });
        w.findChild<QPushButton*>("btnjrcsv")->click();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()),
                 QString::fromUtf8(
                     "\xEF\xBB\xBF"
                     "time,controller,kind,detail,objects,frames\r\n"
                     "2026-03-01 12:00:00,Set A,超出自设限值,自设限值: 电池电压 低于 23 (22.8),pnl17,\r\n"
                     "2026-03-01 11:00:00,Set A,发送命令,复位停机,dport5,0005100200FF\r\n"
                     "2026-03-01 10:00:00,Set A,报警产生,紧急停机,zs9,\r\n"
                     "2026-03-01 09:00:00,Set A,发送命令,Start,dport3,0005100100FF\r\n"));
    }

    // At 1024 × 768, in both languages, the value column holds the longest value name whole and
    // every column fits without a scroll bar.
    void watchEditorShowsEveryColumnWhole_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Chinese") << "Chinese";
    }

    void watchEditorShowsEveryColumnWhole() {
        QFETCH(QString, language);
        Rig r;
        QVERIFY(language == QLatin1String("English") || test::copyCatalogue(r.dir.path(), language));
        r.config.wrini("system.ini", "Set", "language", language);
        r.settings.load(r.config);
        aware::ui::WatchLimitEditor e(r.config, r.settings, r.messages, r.prompter, {});
        e.addRow();
        e.addRow();
        e.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e));
        QTableWidget* t = e.table();
        auto* value = qobject_cast<QComboBox*>(t->cellWidget(0, 1));
        int longest = 0;
        for (int i = 0; i < value->count(); ++i)
            longest = qMax(longest, value->fontMetrics().horizontalAdvance(value->itemText(i)));
        QVERIFY2(value->width() >= longest + 20,
                 qPrintable(QStringLiteral("%1 < %2").arg(value->width()).arg(longest)));
        for (int c = 0; c < t->columnCount(); ++c)
            QVERIFY2(t->columnWidth(c) >= t->horizontalHeader()->sectionSizeHint(c),
                     qPrintable(QString::number(c)));
        QCOMPARE(t->horizontalScrollBar()->maximum(), 0);
        QVERIFY(e.frameGeometry().width() <= 1024);
    }

    void watchEditorSavesAppliesAndRefuses() {
        Rig r;
        QVector<aware::WatchLimit> applied;
        aware::ui::WatchLimitEditor e(r.config, r.settings, r.messages, r.prompter,
                                      [&applied](const QVector<aware::WatchLimit>& l) { applied = l; });
        QCOMPARE(e.objectName(), QStringLiteral("TForm19"));
        QCOMPARE(e.windowTitle(), QStringLiteral("Own watch limits"));
        e.load();
        QCOMPARE(e.table()->rowCount(), 0);
        e.findChild<QPushButton*>("btnwladd")->click();
        QTableWidget* t = e.table();
        QCOMPARE(qobject_cast<QComboBox*>(t->cellWidget(0, 1))->currentText(),
                 QStringLiteral("Battery voltage"));
        t->item(0, 2)->setText(QStringLiteral("23.0"));
        t->item(0, 4)->setText(QStringLiteral("30"));
        t->item(0, 5)->setText(QStringLiteral("0.5"));
        QVERIFY(e.save());
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied[0].controller, QStringLiteral("Set A"));
        QCOMPARE(applied[0].panel, QStringLiteral("pnl17"));
        QCOMPARE(applied[0].low, std::optional<double>(23.0));
        QCOMPARE(applied[0].high, std::optional<double>());
        QCOMPARE(applied[0].holdSeconds, 30);
        QCOMPARE(r.config.reini("system.ini", "Watch", "low0"), QStringLiteral("23"));
        QCOMPARE(r.config.reini("system.ini", "Watch", "limits"), QStringLiteral("1"));

        // A high limit under low + band cannot be right: refused, nothing written.
        t->item(0, 3)->setText(QStringLiteral("23.2"));
        QVERIFY(!e.save());
        QCOMPARE(r.prompter.shown.size(), 1);
        QVERIFY(r.prompter.shown[0].startsWith(QStringLiteral("info:Row 1 cannot be saved")));
        QCOMPARE(r.config.reini("system.ini", "Watch", "high0"), QString());
        e.load();
        QCOMPARE(e.table()->item(0, 2)->text(), QStringLiteral("23"));
    }

    void watchEditorRefusesNumbersOutsideTheValuesRange_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<int>("column");  // 2 low, 3 high, 4 hold, 5 band
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");  // empty: saved
        const char* battery = "Row 1, Battery voltage, ";
        QTest::newRow("1e+300 as a low limit")
            << "English"
            << "pnl17" << 2 << "1e+300" << QString(battery) + "Low: enter a number from 0 to 60 V.";
        QTest::newRow("negative battery limit")
            << "English"
            << "pnl17" << 3 << "-5" << QString(battery) + "High: enter a number from 0 to 60 V.";
        QTest::newRow("not a number")
            << "English"
            << "pnl17" << 3 << "abc" << QString(battery) + "High: \"abc\" is not a number.";
        QTest::newRow("nan") << "English"
                             << "pnl24" << 3 << "nan"
                             << QString::fromUtf8(
                                    "Row 1, Water temperature, High: enter a number from 0 to 200 °C.");
        QTest::newRow("inf") << "English"
                             << "pnl23" << 3 << "inf"
                             << "Row 1, Engine speed, High: enter a number from 0 to 4000 rpm.";
        QTest::newRow("power factor has no unit") << "English"
                                                  << "pnl33" << 2 << "1.5"
                                                  << "Row 1, Power factor, Low: enter a number from 0 to 1.";
        QTest::newRow("hold over a day")
            << "English"
            << "pnl17" << 4 << "86401" << QString(battery) + "Hold (s): enter a number from 0 to 86400 s.";
        QTest::newRow("band wider than the range")
            << "English"
            << "pnl17" << 5 << "61" << QString(battery) + "Hysteresis: enter a number from 0 to 60 V.";
        QTest::newRow("range ends are allowed") << "English"
                                                << "pnl17" << 3 << "60" << QString();
        QTest::newRow("Chinese") << "Chinese"
                                 << "pnl17" << 3 << "1e+300"
                                 << QString::fromUtf8(
                                        "第 1 行，电池电压，上限：请输入 0 到 60 V 之间的数值。");
    }

    // A number no generator set can show is a slip of the keyboard: refused naming the row, the
    // value, the box and its range, and nothing is saved or applied.
    void watchEditorRefusesNumbersOutsideTheValuesRange() {
        QFETCH(QString, language);
        QFETCH(QString, panel);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        Rig r;
        QVERIFY(language == QLatin1String("English") || test::copyCatalogue(r.dir.path(), language));
        r.config.wrini("system.ini", "Set", "language", language);
        r.settings.load(r.config);
        int appliedCount = 0;
        aware::ui::WatchLimitEditor e(r.config, r.settings, r.messages, r.prompter,
                                      [&appliedCount](const QVector<aware::WatchLimit>&) { ++appliedCount; });
        e.addRow();
        QTableWidget* t = e.table();
        auto* value = qobject_cast<QComboBox*>(t->cellWidget(0, 1));
        value->setCurrentIndex(value->findData(panel));
        t->item(0, 2)->setText(QStringLiteral("0"));
        if (column != 2) t->item(0, 3)->setText(QStringLiteral("0.9"));
        t->item(0, column)->setText(text);
        QCOMPARE(e.save(), refusal.isEmpty());
        if (refusal.isEmpty()) {
            QCOMPARE(appliedCount, 1);
            return;
        }
        QCOMPARE(r.prompter.shown, QStringList{QStringLiteral("info:") + refusal});
        QCOMPARE(appliedCount, 0);
        QCOMPARE(r.config.reini("system.ini", "Watch", "limits"), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestAwareWindows)
#include "tst_awareWindows.moc"
