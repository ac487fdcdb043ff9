// tarsynctl history export: rows of one controller's channel from the data folder's kalde.db.
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include "cli/Console.h"
#include "cli/HistoryExport.h"
#include "cli/Options.h"
#include "config/Config.h"
#include "history/HistoryStore.h"

using namespace tarsyn;

class TestCliHistory : public QObject {
    Q_OBJECT
private slots:
    void init();
    void exportsOneControllersChannel_data();
    void exportsOneControllersChannel();
    void csvIsTheCurvesWindowsExport();
    void missingDatabaseIsNotCreated();
    void unknownChannelIsUsage();

private:
    QByteArray exportRows(const cli::HistoryRequest& request, int* code = nullptr);
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_recent;  // ten minutes ago: in both charts
    QString m_older;   // two hours ago: in the day chart only
};

void TestCliHistory::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QDateTime now = QDateTime::currentDateTime();
    m_recent = history::stampText(now.addSecs(-600));
    m_older = history::stampText(now.addSecs(-7200));
    history::HistoryStore store(
        history::HistoryLocation::sqliteFile(m_dir->filePath(QStringLiteral("kalde.db"))));
    QVERIFY2(store.connect(), qPrintable(store.lastError()));
    auto row = [](const QString& sj, const QString& port, double first, double battery) {
        history::HistoryRow r;
        r.sj = sj;
        r.port = port;
        r.values[0] = first;    // sj1, generator voltage L1
        r.values[6] = battery;  // sj7, battery voltage in volts
        return r;
    };
    store.appendRows(history::HistoryTable::Hour, {row(m_recent, QStringLiteral("Genset 1"), 231, 24.5),
                                                   row(m_recent, QStringLiteral("Genset 2"), 999, 1)});
    store.appendRows(history::HistoryTable::Day, {row(m_older, QStringLiteral("Genset 1"), 229, 24.1),
                                                  row(m_recent, QStringLiteral("Genset 1"), 230, 24.3)});
}

QByteArray TestCliHistory::exportRows(const cli::HistoryRequest& request, int* code) {
    const config::Config config(m_dir->path());
    cli::Terminal terminal(false, false);
    QByteArray out;
    const int result = cli::HistoryExport(config, request, terminal, out);
    if (code) *code = result;
    return out;
}

void TestCliHistory::exportsOneControllersChannel_data() {
    QTest::addColumn<QString>("channel");
    QTest::addColumn<bool>("hour");
    QTest::addColumn<bool>("day");
    QTest::addColumn<QStringList>("expected");  // with %R ten minutes ago, %O two hours ago
    QTest::newRow("both charts by column")
        << "sj1" << true << true << QStringList{"hour\t%R\t231", "day\t%O\t229", "day\t%R\t230"};
    QTest::newRow("hour only by number") << "7" << true << false << QStringList{"hour\t%R\t24.5"};
    QTest::newRow("day only") << "sj7" << false << true << QStringList{"day\t%O\t24.1", "day\t%R\t24.3"};
}

void TestCliHistory::exportsOneControllersChannel() {
    QFETCH(QString, channel);
    QFETCH(bool, hour);
    QFETCH(bool, day);
    QFETCH(QStringList, expected);
    cli::HistoryRequest request;
    request.controller = QStringLiteral(" Genset 1 ");  // trimmed as the recorder trims remarks
    request.channel = channel;
    request.language = QStringLiteral("English");
    request.hour = hour;
    request.day = day;
    int code = -1;
    const QStringList lines = QString::fromUtf8(exportRows(request, &code)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(code, int(cli::kExitOk));
    QStringList want;
    for (QString line : expected) want << line.replace("%R", m_recent).replace("%O", m_older);
    QCOMPARE(lines, want);
}

void TestCliHistory::csvIsTheCurvesWindowsExport() {
    cli::HistoryRequest request;
    request.controller = QStringLiteral("Genset 1");
    request.channel = QStringLiteral("sj1");
    request.csv = true;
    const QByteArray csv = exportRows(request);
    QVERIFY(
        csv.startsWith("\xEF\xBB\xBF"
                       "chart,time,value,port\r\n"));
    QVERIFY(csv.contains("hour," + m_recent.toUtf8() + ",231,Genset 1\r\n"));
}

void TestCliHistory::missingDatabaseIsNotCreated() {
    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("kalde.db"))));
    cli::HistoryRequest request;
    request.controller = QStringLiteral("Genset 1");
    request.channel = QStringLiteral("sj1");
    int code = -1;
    QVERIFY(exportRows(request, &code).isEmpty());
    QCOMPARE(code, int(cli::kExitLink));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("kalde.db"))));
}

void TestCliHistory::unknownChannelIsUsage() {
    cli::HistoryRequest request;
    request.controller = QStringLiteral("Genset 1");
    for (const char* channel : {"sj21", "0", "no such reading"}) {
        request.channel = QLatin1String(channel);
        int code = -1;
        exportRows(request, &code);
        QCOMPARE(code, int(cli::kExitUsage));
    }
}

QTEST_GUILESS_MAIN(TestCliHistory)
#include "tst_cliHistory.moc"
