// tarsynctl end to end: the built program against tarsyn-sim on pseudo-terminals, with no display.
// Every exchange runs at the controller's own pace, so the cases keep to the smallest pages.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "link/LineSettings.h"
#include "link/PortLock.h"
#include "link/QtSerialPort.h"

namespace {

QString binDir() { return qEnvironmentVariable("TARSYN_BIN_DIR"); }

/// The environment of a box without a screen: no display, no platform plugin chosen.
QProcessEnvironment headless() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

/// One tarsyn-sim serving `link`, logging every request it sees (--verbose) into a file.
class Sim {
public:
    bool start(const QString& link, const QString& log, const QStringList& extra = {}) {
        m_log = log;
        m_process.setProgram(binDir() + QStringLiteral("/tarsyn-sim"));
        m_process.setArguments(QStringList{QStringLiteral("--link"), link, QStringLiteral("--verbose")} +
                               extra);
        m_process.setStandardErrorFile(log);
        m_process.start();
        if (!m_process.waitForStarted(10000)) return false;
        QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!out.contains('\n') && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(100);
            out += m_process.readAllStandardOutput();
        }
        return out.contains('\n');
    }
    /// The requests the simulator received, one a line ("<- 0004008000028 6<CR><LF> -> …").
    QStringList requests() const {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (l.contains("<- ")) lines << QString::fromLatin1(l);
        return lines;
    }
    /// A line on the simulator's console, once it is acknowledged ("ok: alarm on").
    bool command(const QByteArray& line) {
        m_process.write(line + '\n');
        QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!out.contains("ok: " + line) && !deadline.hasExpired()) {
            m_process.waitForReadyRead(100);
            out += m_process.readAllStandardOutput();
        }
        return out.contains("ok: " + line);
    }
    QStringList requestsStartingWith(const QString& head) const {
        return requests().filter(QRegularExpression(QStringLiteral("<- ") + head));
    }
    ~Sim() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
    QString m_log;
};

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

}  // namespace

class TestTarsynctl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void runsWithoutWidgetsOrDisplay();
    void backupRestoreDiff();
    void outOfRangeWriteSendsNothing();
    void busyPortExitsThree();
    void factoryWithoutYesOrTerminalSendsNothing();
    void severalPortsAtOnceWithOneMissing();
    void liveJsonCarriesTheControllersValues();
    void liveStatsCountTheLine();
    void serveRefusesALineAnotherProgramHolds();
    void serveRecordsEveryLineAtItsCadenceUntilSigterm();
    void relativePortNameIsAPathFromTheWorkingFolder();
    void oneDeviceUnderTwoNamesIsOneLine();
    void stopSignalEndsCleanlyAndRemovesTheLock_data();
    void stopSignalEndsCleanlyAndRemovesTheLock();
    void staleLockOfAnEndedProcessIsTakenOver();
    void portsOverTheLimitAreRefusedAtOnce();
    void badFileIsAUsageErrorNotADifference_data();
    void badFileIsAUsageErrorNotADifference();
    void liveJsonOfSeveralPortsIsOneDocument();
    void restoreWritesOnlyWhatDiffers();
    void slowLineTakesATimeout();
    void serveOnDamagedSettingsSaysSo();
    void refusalsNameTheFileAndTheKey();
    void watchOfASilentControllerPrintsAtTheRefreshTime();
    void progressOnATerminalCountsUpOnce();

private:
    Run run(const QStringList& args, const QString& workingDir = QString());
    std::unique_ptr<Sim> sim(const QString& name, const QStringList& extra = {});
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestTarsynctl::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo(binDir() + QStringLiteral("/tarsynctl")).isExecutable(), "tarsynctl not built");
}

Run TestTarsynctl::run(const QStringList& args, const QString& workingDir) {
    QProcess p;
    p.setProcessEnvironment(headless());
    if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
    p.setProgram(binDir() + QStringLiteral("/tarsynctl"));
    // The shipped catalogues, in English, whatever system.ini the build folder may hold.
    p.setArguments(QStringList{"--data-dir", binDir(), "--language", "English"} + args);
    p.setStandardInputFile(QProcess::nullDevice());  // no terminal to answer a question
    p.start();
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(240000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

std::unique_ptr<Sim> TestTarsynctl::sim(const QString& name, const QStringList& extra) {
    auto s = std::make_unique<Sim>();
    if (!s->start(path(name), path(name + QStringLiteral(".log")), extra)) return nullptr;
    return s;
}

void TestTarsynctl::runsWithoutWidgetsOrDisplay() {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {binDir() + QStringLiteral("/tarsynctl")});
    QVERIFY(ldd.waitForFinished(10000));
    const QString libs = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libs.contains(QLatin1String("libQt6Core")), qPrintable(libs));
    QVERIFY2(!libs.contains(QLatin1String("libQt6Widgets")), qPrintable(libs));

    Run help = run({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char* command : {"page read NAME", "backup FILE", "restore FILE", "diff FILE", "alarms",
                                "command start", "calibrate CHANNEL VALUE", "history export", "serve"})
        QVERIFY2(help.out.contains(QLatin1String(command)), command);
    QVERIFY(run({"backup", "--help"}).out.contains(QLatin1String("Gsm")));
    QCOMPARE(run({"backup"}).exitCode, 2);  // no port, no file
    QCOMPARE(run({"--port", "x", "page", "read", "nothing"}).exitCode, 2);
}

void TestTarsynctl::backupRestoreDiff() {
    auto controller = sim(QStringLiteral("ctl"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("ctl"));
    const QString backup = path(QStringLiteral("backup.ini"));

    Run r = run({"--port", port, "backup", backup});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QFile file(backup);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    // system.ini's page sections, so that the windows' "load from file" takes a backup as it is.
    for (const char* section : {"[Ys]", "[Sw]", "[Yy]", "[Js]", "[St]", "[Kz]", "[Bj]", "[Gsm]"})
        QVERIFY2(saved.contains(section), section);
    QVERIFY(saved.contains("\r\nsd=0\r\n"));  // the simulator's speed source: the speed sensor

    // Restore only the control bits (one word), with the speed source switched to the other choice.
    QByteArray bits = saved.mid(saved.indexOf("[Kz]"));
    bits = bits.left(bits.indexOf("\r\n[") + 2);
    bits.replace("\r\nsd=0\r\n", "\r\nsd=1\r\n");
    const QString restoreFile = path(QStringLiteral("bits.ini"));
    QFile out(restoreFile);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bits);
    out.close();
    r = run({"--port", port, "restore", restoreFile, "--yes"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("0007")).size(), 1);
    QVERIFY(controller->requestsStartingWith(QStringLiteral("00070080")).size() == 1);

    r = run({"--port", port, "diff", restoreFile});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
    QCOMPARE(r.out, QString());

    // Against the backup, the one field the restore changed and nothing else.
    r = run({"--port", port, "diff", backup});
    QCOMPARE(r.exitCode, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("Kz.sd ")), qPrintable(lines.at(0)));
}

void TestTarsynctl::outOfRangeWriteSendsNothing() {
    auto controller = sim(QStringLiteral("range"));
    QVERIFY(controller);
    // Every delay given; the start delay is a byte, 0 to 255.
    QByteArray ini = "[Ys]\r\n";
    for (int i = 1; i <= 22; ++i) ini += "ys" + QByteArray::number(i) + "=" + (i == 2 ? "700" : "5") + "\r\n";
    const QString file = path(QStringLiteral("delays.ini"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(ini);
    out.close();

    const Run r = run({"--port", path(QStringLiteral("range")), "page", "write", "delays", file});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("Start delay")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QLatin1String("0 to 255")), qPrintable(r.err));
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("0007")), QStringList());
    QCOMPARE(controller->requests(), QStringList());  // nothing at all went out
}

void TestTarsynctl::busyPortExitsThree() {
    auto controller = sim(QStringLiteral("busy"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("busy"));
    tarsyn::link::QtSerialPort holder;  // as the window program holds its line
    holder.setPortName(port);
    holder.OpenPort();

    const Run r = run({"--port", port, "alarms"});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(port) && r.err.contains(QLatin1String("in use")), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QCOMPARE(controller->requests(), QStringList());
}

void TestTarsynctl::factoryWithoutYesOrTerminalSendsNothing() {
    auto controller = sim(QStringLiteral("factory"));
    QVERIFY(controller);
    const Run r = run({"--port", path(QStringLiteral("factory")), "command", "factory"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("--yes")), qPrintable(r.err));
    QVERIFY(!controller->requestsStartingWith(QStringLiteral("000400060030")).isEmpty());  // it was linked
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("0005")), QStringList());
}

void TestTarsynctl::severalPortsAtOnceWithOneMissing() {
    auto first = sim(QStringLiteral("site1"));
    auto second = sim(QStringLiteral("site2"));
    QVERIFY(first && second);
    const QString missing = path(QStringLiteral("unplugged"));
    const Run r = run({"--port", path(QStringLiteral("site1")), "--port", path(QStringLiteral("site2")),
                       "--port", missing, "backup", path(QStringLiteral("all.ini"))});
    QCOMPARE(r.exitCode, 3);  // the worst of the three
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
    for (const char* name : {"all-site1.ini", "all-site2.ini"}) {
        QFile f(path(QLatin1String(name)));
        QVERIFY2(f.open(QIODevice::ReadOnly), name);
        QVERIFY(f.readAll().contains("[Gsm]"));
    }
    QVERIFY(!QFile::exists(path(QStringLiteral("all-unplugged.ini"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("all.ini"))));
}

// The simulator's engine starts stopped with 12345.6 h on its meter, the factory cool-down stop delay
// is 60 and --alarm raises the emergency stop (alarm bit 0 of the alarm byte: zs9).
void TestTarsynctl::liveJsonCarriesTheControllersValues() {
    auto controller = sim(QStringLiteral("live"), {QStringLiteral("--alarm")});
    QVERIFY(controller);
    const Run r = run({"--port", path(QStringLiteral("live")), "live", "--json"});
    QCOMPARE(r.exitCode, 0);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out));
    QCOMPARE(o.value("linked").toBool(), true);
    QVERIFY(QDateTime::fromString(o.value("time").toString(), Qt::ISODate).isValid());
    const QJsonObject values = o.value("values").toObject();
    QCOMPARE(values.size(), 21);
    // Keyed as the broker's state message keys them; the panel stays a member.
    const QJsonObject hours = values.value("engine_running_time").toObject();
    QCOMPARE(hours.value("value").toDouble(), 12345.6);
    QCOMPARE(hours.value("unit").toString(), QStringLiteral("h"));
    QCOMPARE(hours.value("panel").toString(), QStringLiteral("pnl37"));
    QCOMPARE(hours.value("caption").toString(), QStringLiteral("Engine running hours"));
    QCOMPARE(o.value("delays").toObject().size(), 22);
    const QJsonObject coolDown = o.value("delays").toObject().value("cool_down_stop_delay").toObject();
    QCOMPARE(coolDown.value("value").toDouble(), 60.0);
    QCOMPARE(coolDown.value("unit").toString(), QStringLiteral("s"));
    QCOMPARE(coolDown.value("panel").toString(), QStringLiteral("pnl41"));
    const QJsonObject indicators = o.value("indicators").toObject();
    QCOMPARE(indicators.size(), 32);
    QCOMPARE(indicators.value("zs9").toBool(), true);
    QCOMPARE(indicators.value("zs2").toBool(), false);
    // One live and one delay request, exactly as the cycle sends them.
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("000400060030")).size(), 1);
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("000400360016")).size(), 1);
}

namespace {

/// A data folder for serve: the shipped English catalogue and a system.ini whose port list names
/// `lines` (port, remark), polled every second, a row in "nls" every second and in "24xs" every minute.
bool serveFolder(const QString& dir, const QVector<QPair<QString, QString>>& lines) {
    if (!QFile::copy(binDir() + QStringLiteral("/English.lag"), dir + QStringLiteral("/English.lag")))
        return false;
    QByteArray ini = "[Set]\r\nlanguage=English\r\nflash=1\r\nsave1=1\r\nsave2=1\r\nPorts=" +
                     QByteArray::number(lines.size()) + "\r\n";
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray n = QByteArray::number(i);
        ini += "Port" + n + "=" + lines.at(i).first.toUtf8() + "\r\nremark" + n + "=" +
               lines.at(i).second.toUtf8() + "\r\n";
    }
    QFile f(dir + QStringLiteral("/system.ini"));
    return f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size();
}

/// The history database serve writes, read as another program would.
class HistoryFile {
public:
    explicit HistoryFile(const QString& path) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    }
    ~HistoryFile() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    /// One column of every row of a table, in the order of "sj"; empty while the file is not there.
    QStringList column(const QString& table, const QString& port, const QString& column) {
        QStringList values;
        if (!QFileInfo::exists(m_db.databaseName()) || (!m_db.isOpen() && !m_db.open())) return values;
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("select %1 from \"%2\" where port = ? order by sj").arg(column, table));
        q.addBindValue(port);
        if (!q.exec()) return values;
        while (q.next()) values << q.value(0).toString();
        return values;
    }
    QStringList journal(const QString& controller) {
        QStringList events;
        if (!m_db.isOpen() && !m_db.open()) return events;
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("select kind, detail from journal where port = ? order by id"));
        q.addBindValue(controller);
        if (!q.exec()) return events;
        while (q.next()) events << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
        return events;
    }

private:
    QString m_name = QStringLiteral("serve-test");
    QSqlDatabase m_db;
};

}  // namespace

void TestTarsynctl::serveRefusesALineAnotherProgramHolds() {
    auto first = sim(QStringLiteral("held1"));
    auto second = sim(QStringLiteral("held2"));
    QVERIFY(first && second);
    QTemporaryDir data;
    QVERIFY(serveFolder(data.path(), {{path(QStringLiteral("held1")), QStringLiteral("One")},
                                      {path(QStringLiteral("held2")), QStringLiteral("Two")}}));
    tarsyn::link::QtSerialPort holder;  // as the window program holds its line
    holder.setPortName(path(QStringLiteral("held2")));
    holder.OpenPort();

    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(binDir() + QStringLiteral("/tarsynctl"), {"--data-dir", data.path(), "serve"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 3);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(path(QStringLiteral("held2"))) && err.contains(QLatin1String("in use")),
             qPrintable(err));
    // Nothing was served, not even the free line.
    QCOMPARE(first->requests(), QStringList());
    QCOMPARE(second->requests(), QStringList());
}

// Three lines at once: two controllers answering (the simulator's steady mains reads 231, 230 and
// 229 V on phases A to C) and one that never answers. Each answering line keeps its own cadence
// (a live reading every other second: the cycle alternates the live and delay blocks), its rows
// carry its remark and its own values, an alarm raised on one is journalled under that controller,
// and SIGTERM ends the service with every row it took in the database.
void TestTarsynctl::serveRecordsEveryLineAtItsCadenceUntilSigterm() {
    auto north = sim(QStringLiteral("north"), {QStringLiteral("--steady"), QStringLiteral("--running")});
    auto south = sim(QStringLiteral("south"), {QStringLiteral("--steady")});
    auto dead = sim(QStringLiteral("dead"), {QStringLiteral("--no-answer")});
    QVERIFY(north && south && dead);
    QTemporaryDir data;
    QVERIFY(serveFolder(data.path(), {{path(QStringLiteral("north")), QStringLiteral("North")},
                                      {path(QStringLiteral("south")), QStringLiteral("South")},
                                      {path(QStringLiteral("dead")), QStringLiteral("Dead")}}));
    QProcess serve;
    serve.setProcessEnvironment(headless());
    serve.start(binDir() + QStringLiteral("/tarsynctl"), {"--data-dir", data.path(), "serve"});
    QVERIFY(serve.waitForStarted(10000));

    HistoryFile history(data.filePath(QStringLiteral("kalde.db")));
    const auto rows = [&history](const char* remark) {
        return history.column(QStringLiteral("nls"), QLatin1String(remark), QStringLiteral("sj")).size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(rows("North") >= 4 && rows("South") >= 4, 60000);
    QVERIFY(south->command("alarm on"));
    QTRY_VERIFY_WITH_TIMEOUT(
        history.journal(QStringLiteral("South")).contains(QStringLiteral("alarm-raised zs9 Emergency stop")),
        30000);
    QVERIFY(history.journal(QStringLiteral("North")).isEmpty());
    QVERIFY(south->command("alarm off"));
    QTRY_VERIFY_WITH_TIMEOUT(
        history.journal(QStringLiteral("South")).contains(QStringLiteral("alarm-cleared zs9 Emergency stop")),
        30000);

    serve.terminate();  // SIGTERM
    QVERIFY(serve.waitForFinished(30000));
    QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(serve.readAllStandardError());
    QVERIFY2(serve.exitCode() == 0, qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("(Dead): no answer from the controller yet")), qPrintable(err));
    // The log says the alarm's raising and its clearing, each once.
    QCOMPARE(err.count(QLatin1String("(South): alarm raised: zs9 Emergency stop")), 1);
    QCOMPARE(err.count(QLatin1String("(South): alarm cleared: zs9 Emergency stop")), 1);

    for (const char* remark : {"North", "South"}) {
        const QString name = QLatin1String(remark);
        // Every row the line took is in the database: the counts it printed as it ended.
        const QRegularExpression said(
            QStringLiteral("\\(%1\\): (\\d+) live readings, (\\d+) rows in \"nls\", (\\d+) in \"24xs\"")
                .arg(name));
        const QRegularExpressionMatch m = said.match(err);
        QVERIFY2(m.hasMatch(), qPrintable(err));
        const QStringList stamps = history.column(QStringLiteral("nls"), name, QStringLiteral("sj"));
        QCOMPARE(QString::number(stamps.size()), m.captured(2));
        QCOMPARE(QString::number(history.column(QStringLiteral("24xs"), name, QStringLiteral("sj")).size()),
                 m.captured(3));
        QCOMPARE(history.column(QStringLiteral("24xs"), name, QStringLiteral("sj")).size(), 1);
        // The cadence: a row with every live reading (every other tick: two seconds, stamped to the
        // second), never more than four seconds apart on a busy machine, whatever the silent line does.
        for (int i = 1; i < stamps.size(); ++i) {
            const auto at = [](const QString& s) {
                return QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            };
            const qint64 gap = at(stamps.at(i - 1)).secsTo(at(stamps.at(i)));
            QVERIFY2(gap >= 1 && gap <= 4, qPrintable(stamps.join(QLatin1Char(' '))));
        }
        const auto distinct = [&](const char* column) {
            QStringList values = history.column(QStringLiteral("nls"), name, QLatin1String(column));
            values.removeDuplicates();
            return values;
        };
        QCOMPARE(distinct("sj18"), QStringList{QStringLiteral("231")});
        QCOMPARE(distinct("sj20"), QStringList{QStringLiteral("229")});
    }
    QCOMPARE(rows("Dead"), 0);
}

// --stats: the line's counters after the poll. A clean controller answers both reads; one that sends
// garbage before every reply, or another address's bytes, fails the live read (no delay read follows)
// and exits 3, counted.
void TestTarsynctl::liveStatsCountTheLine() {
    auto clean = sim(QStringLiteral("stats"));
    QVERIFY(clean);
    Run r = run({"--port", path(QStringLiteral("stats")), "live", "--json", "--stats"});
    QCOMPARE(r.exitCode, 0);
    QJsonObject since = QJsonDocument::fromJson(r.out.toUtf8())
                            .object()
                            .value("stats")
                            .toObject()
                            .value("sinceStart")
                            .toObject();
    QCOMPARE(since.value("requests").toInt(), 2);
    QCOMPARE(since.value("replies").toInt(), 2);
    QCOMPARE(since.value("notHex").toInt(), 0);
    QVERIFY(since.value("medianMs").toInt() >= 1000);  // each reply is read after the cycle's second

    auto noisy = sim(QStringLiteral("noisy"), {QStringLiteral("--garbage")});
    QVERIFY(noisy);
    r = run({"--port", path(QStringLiteral("noisy")), "live", "--stats"});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.out.contains(QRegularExpression("Requests\\t1\\t1\\n")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QRegularExpression("Non-hexadecimal replies\\t1\\t1\\n")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QRegularExpression("Median reply time \\(ms\\)\\t-\\t-\\n")), qPrintable(r.out));

    // Another address's bytes in a well-formed frame (a mains voltage of 37009 V): no reading is
    // printed, the poll counts a check error, not a reply, and the tool says the controller did not
    // answer usefully (exit 3).
    auto foreign = sim(QStringLiteral("foreign"), {QStringLiteral("--foreign-data")});
    QVERIFY(foreign);
    r = run({"--port", path(QStringLiteral("foreign")), "live", "--json", "--stats"});
    QCOMPARE(r.exitCode, 3);
    const QJsonObject refused = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QVERIFY2(!refused.contains("values"), qPrintable(r.out));
    since = refused.value("stats").toObject().value("sinceStart").toObject();
    QCOMPARE(since.value("requests").toInt(), 1);
    QCOMPARE(since.value("checkErrors").toInt(), 1);
    QCOMPARE(since.value("replies").toInt(), 0);

    QCOMPARE(run({"--port", path(QStringLiteral("stats")), "alarms", "--stats"}).exitCode, 2);
}

namespace {

/// The lock file of the device behind `port`.
QString lockOf(const QString& port) { return tarsyn::link::LockFilePath(tarsyn::link::RealDevicePath(port)); }

/// The id of a process that has ended.
qint64 endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

/// Removes a lock file the test wrote, whatever way the test ends.
struct LockFileGuard {
    QString path;
    ~LockFileGuard() { QFile::remove(path); }
};

}  // namespace

void TestTarsynctl::relativePortNameIsAPathFromTheWorkingFolder() {
    // The README's recipe names its controllers build/demo/controller-1: a path, never /dev/build/….
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("demo")));
    auto controller = sim(QStringLiteral("demo/controller-1"));
    QVERIFY(controller);
    const Run r = run({"--port", "demo/controller-1", "live"}, m_dir.path());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QLatin1String("Mains voltage L1")), qPrintable(r.out));
}

void TestTarsynctl::oneDeviceUnderTwoNamesIsOneLine() {
    auto controller = sim(QStringLiteral("twice"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("twice"));
    const QString device = tarsyn::link::RealDevicePath(port);
    QVERIFY2(device.startsWith(QLatin1String("/dev/pts/")), qPrintable(device));
    const QString other = QStringLiteral("/dev/../dev/") + device.mid(5);

    // In one run: refused before anything is sent.
    Run r = run({"--port", port, "--port", other, "live"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QLatin1String("given twice")), qPrintable(r.err));
    QCOMPARE(controller->requests(), QStringList());

    // Held under one name, refused under the other: the lock is the real device's (root included).
    tarsyn::link::QtSerialPort holder;
    holder.setPortName(port);
    holder.OpenPort();
    QVERIFY(QFile::exists(lockOf(port)));
    r = run({"--port", other, "live"});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(QLatin1String("in use")), qPrintable(r.err));
    QCOMPARE(controller->requests(), QStringList());
    holder.ClosePort();
    QVERIFY(!QFile::exists(lockOf(port)));
}

void TestTarsynctl::stopSignalEndsCleanlyAndRemovesTheLock_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    // A watch runs until it is stopped: that is its end. A backup stopped half way did not finish.
    QTest::newRow("watch, SIGINT") << QStringList{"live", "--watch", "--json"} << int(SIGINT) << 0;
    QTest::newRow("watch, SIGTERM") << QStringList{"live", "--watch"} << int(SIGTERM) << 0;
    QTest::newRow("backup, SIGTERM") << QStringList{"backup", "stopped.ini"} << int(SIGTERM) << 128 + SIGTERM;
    QTest::newRow("backup, SIGINT") << QStringList{"backup", "stopped.ini"} << int(SIGINT) << 128 + SIGINT;
}

void TestTarsynctl::stopSignalEndsCleanlyAndRemovesTheLock() {
    QFETCH(QStringList, command);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    auto controller = sim(QStringLiteral("stop"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("stop"));
    QProcess p;
    p.setProcessEnvironment(headless());
    p.setWorkingDirectory(m_dir.path());
    p.setProgram(binDir() + QStringLiteral("/tarsynctl"));
    p.setArguments(QStringList{"--data-dir", binDir(), "--language", "English", "--port", port} + command);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    QVERIFY(p.waitForStarted(10000));
    // Stopped once it is talking to the controller, its lock taken.
    QTRY_VERIFY_WITH_TIMEOUT(!controller->requests().isEmpty(), 20000);
    QVERIFY(QFile::exists(lockOf(port)));
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(!QFile::exists(lockOf(port)), qPrintable(lockOf(port)));
    QVERIFY(!QFile::exists(path(QStringLiteral("stopped.ini"))));
    // The line is free again at once.
    const Run r = run({"--port", port, "live"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
}

void TestTarsynctl::staleLockOfAnEndedProcessIsTakenOver() {
    auto controller = sim(QStringLiteral("stale"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("stale"));
    const QString lock = lockOf(port);
    QVERIFY(!lock.isEmpty());
    const LockFileGuard guard{lock};

    // A living process's lock stays: this test's own.
    const auto writeLock = [&](qint64 pid) {
        QFile f(lock);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray::number(pid).rightJustified(10, ' ') + '\n');
    };
    writeLock(QCoreApplication::applicationPid());
    Run r = run({"--port", port, "live"});
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(controller->requests(), QStringList());
    QVERIFY(QFile::exists(lock));

    // An ended process's lock is taken over, whoever owns the file (as root: another user's).
    const qint64 ended = endedProcess();
    QVERIFY(ended > 0);
    writeLock(ended);
    if (::geteuid() == 0) QCOMPARE(::chown(QFile::encodeName(lock).constData(), 65534, 65534), 0);
    r = run({"--port", port, "live"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(!controller->requests().isEmpty());
    QVERIFY(!QFile::exists(lock));  // and the new one went with the run
}

void TestTarsynctl::portsOverTheLimitAreRefusedAtOnce() {
    // A million lines: refused at the 65th, naming the limit, before any thread or port.
    const QString file = path(QStringLiteral("million.ports"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray chunk;
    for (int i = 0; i < 1000; ++i) chunk += "/dev/null-" + QByteArray::number(i) + '\n';
    for (int i = 0; i < 1000; ++i) f.write(chunk);
    f.close();
    QElapsedTimer timer;
    timer.start();
    Run r = run({"--ports-file", file, "live"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QLatin1String("64")), qPrintable(r.err));
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));

    // 64 is allowed (then each missing device exits 3); 65 given by --port alone are refused too.
    QStringList ports;
    for (int i = 0; i < 65; ++i) ports << "--port" << path(QStringLiteral("none-%1").arg(i));
    r = run(ports + QStringList{"live"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QLatin1String("64")), qPrintable(r.err));
    r = run(ports.mid(2) + QStringList{"live"});
    QCOMPARE(r.exitCode, 3);
}

void TestTarsynctl::badFileIsAUsageErrorNotADifference_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("content");  // empty: no file at all
    QTest::newRow("diff, missing") << QStringList{"diff"} << QByteArray();
    QTest::newRow("restore, missing") << QStringList{"restore", "--yes"} << QByteArray();
    QTest::newRow("page write, missing") << QStringList{"page", "write", "delays"} << QByteArray();
    QTest::newRow("diff, no page section") << QStringList{"diff"} << QByteArray("[Other]\r\nx=1\r\n");
    QTest::newRow("restore, no page section")
        << QStringList{"restore", "--yes"} << QByteArray("[Other]\r\nx=1\r\n");
    QTest::newRow("diff, values missing") << QStringList{"diff"} << QByteArray("[Ys]\r\nys1=5\r\n");
}

void TestTarsynctl::badFileIsAUsageErrorNotADifference() {
    QFETCH(QStringList, command);
    QFETCH(QByteArray, content);
    auto controller = sim(QStringLiteral("badfile"));
    QVERIFY(controller);
    const QString file = path(QStringLiteral("bad.ini"));
    QFile::remove(file);
    if (!content.isEmpty()) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // The file goes after the page name; the options after it.
    QStringList args{"--port", path(QStringLiteral("badfile"))};
    args << command.mid(0, command.first() == QLatin1String("page") ? 3 : 1) << file
         << command.mid(command.first() == QLatin1String("page") ? 3 : 1);
    const Run r = run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(file), qPrintable(r.err));
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("0007")), QStringList());
}

void TestTarsynctl::liveJsonOfSeveralPortsIsOneDocument() {
    auto first = sim(QStringLiteral("json1"));
    auto second = sim(QStringLiteral("json2"));
    QVERIFY(first && second);
    const QString missing = path(QStringLiteral("json-unplugged"));
    const QStringList ports{path(QStringLiteral("json1")), missing, path(QStringLiteral("json2"))};
    const Run r =
        run({"--port", ports.at(0), "--port", ports.at(1), "--port", ports.at(2), "live", "--json"});
    QCOMPARE(r.exitCode, 3);  // the missing one
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString() + "\n" + r.out));
    QVERIFY(doc.isArray());
    const QJsonArray array = doc.array();
    QCOMPARE(array.size(), 3);
    for (int i = 0; i < 3; ++i) QCOMPARE(array.at(i)[QStringLiteral("port")].toString(), ports.at(i));
    QCOMPARE(array.at(0)[QStringLiteral("linked")].toBool(), true);
    QCOMPARE(array.at(1)[QStringLiteral("linked")].toBool(), false);
    QCOMPARE(array.at(2)[QStringLiteral("linked")].toBool(), true);
    QVERIFY(!array.at(2)[QStringLiteral("values")].toObject().isEmpty());
}

void TestTarsynctl::restoreWritesOnlyWhatDiffers() {
    auto first = sim(QStringLiteral("only1"));
    auto second = sim(QStringLiteral("only2"));
    QVERIFY(first && second);
    const QString port = path(QStringLiteral("only1")), other = path(QStringLiteral("only2"));
    Run r = run({"--port", port, "page", "read", "delays"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QByteArray ini = r.out.toLatin1();
    QVERIFY(ini.contains("\r\nys2=5\r\n"));
    ini.replace("\r\nys2=5\r\n", "\r\nys2=7\r\n");  // the start delay, 5 s -> 7 s
    const QString file = path(QStringLiteral("start-delay.ini"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(ini);
    out.close();

    // A dry run lists the one field and sends nothing.
    r = run({"--port", port, "restore", file, "--dry-run"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList{QStringLiteral("Ys.ys2 (Start delay): controller 5, file 7")});
    QCOMPARE(first->requestsStartingWith(QStringLiteral("0007")), QStringList());

    // The restore writes that one word: the start delay is the byte at 0x004D, in the word at 0x004C.
    r = run({"--port", port, "restore", file, "--yes"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList writes = first->requestsStartingWith(QStringLiteral("0007"));
    QCOMPARE(writes.size(), 1);
    QVERIFY2(writes.at(0).contains(QLatin1String("<- 0007004C")), qPrintable(writes.at(0)));

    // Now the same: diff --json has no difference, a second restore writes nothing, --quiet says
    // nothing, a dry run exits 0.
    r = run({"--port", port, "diff", file, "--json"});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject diff = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(diff[QStringLiteral("port")].toString(), port);
    QVERIFY(diff[QStringLiteral("fields")].toInt() > 0);
    QCOMPARE(diff[QStringLiteral("differences")].toArray().size(), 0);
    r = run({"--quiet", "--port", port, "restore", file, "--yes"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(first->requestsStartingWith(QStringLiteral("0007")).size(), 1);
    QCOMPARE(run({"--port", port, "restore", file, "--dry-run"}).exitCode, 0);

    // One reference file for two controllers: the second still holds 5.
    r = run({"--port", port, "--port", other, "diff", file, "--one-file", "--json"});
    QCOMPARE(r.exitCode, 1);
    const QJsonArray both = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(both.size(), 2);
    QCOMPARE(both.at(0)[QStringLiteral("differences")].toArray().size(), 0);
    const QJsonArray differs = both.at(1)[QStringLiteral("differences")].toArray();
    QCOMPARE(differs.size(), 1);
    QCOMPARE(differs.at(0)[QStringLiteral("key")].toString(), QStringLiteral("ys2"));
    QCOMPARE(differs.at(0)[QStringLiteral("controller")].toString(), QStringLiteral("5"));
    QCOMPARE(differs.at(0)[QStringLiteral("file")].toString(), QStringLiteral("7"));
}

void TestTarsynctl::slowLineTakesATimeout() {
    // A controller that answers 2.5 s late: the program's one-second wait misses it, --timeout waits.
    auto controller = sim(QStringLiteral("slow"), {QStringLiteral("--delay"), QStringLiteral("2500")});
    QVERIFY(controller);
    const QString port = path(QStringLiteral("slow"));
    const Run r = run({"--port", port, "--timeout", "4000", "live"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(run({"--port", port, "live"}).exitCode, 3);
    // Out of range, or not a whole number: refused naming the option and the range.
    for (const char* bad : {"50", "60001", "+500", "1e3"}) {
        const Run refused = run({"--port", port, "--timeout", bad, "live"});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(
            refused.err.contains(QLatin1String("--timeout")) && refused.err.contains(QLatin1String("100")),
            qPrintable(refused.err));
    }
    QCOMPARE(run({"--port", port, "--retries", "11", "live"}).exitCode, 2);
}

void TestTarsynctl::serveOnDamagedSettingsSaysSo() {
    QTemporaryDir data;
    QVERIFY(
        QFile::copy(binDir() + QStringLiteral("/English.lag"), data.filePath(QStringLiteral("English.lag"))));
    QFile f(data.filePath(QStringLiteral("system.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray noise;
    for (int i = 0; i < 4096; ++i) noise += char((i * 7919 + 13) % 256);  // no section, no line
    f.write(noise);
    f.close();
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(binDir() + QStringLiteral("/tarsynctl"), {"--data-dir", data.path(), "serve"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("system.ini Error!")) && err.contains(data.filePath("system.ini")),
             qPrintable(err));
    QVERIFY2(!err.contains(QLatin1String("no line to serve")), qPrintable(err));
}

void TestTarsynctl::refusalsNameTheFileAndTheKey() {
    auto controller = sim(QStringLiteral("refuse"));
    QVERIFY(controller);
    const QString port = path(QStringLiteral("refuse"));
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path(name);
    };
    // Only one delay of the block: the message names the file given, never system.ini.
    const QString partial = write(QStringLiteral("partial.ini"), "[Ys]\r\nys1=5\r\n");
    Run r = run({"--port", port, "page", "write", "delays", partial});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(partial + QLatin1String(" holds only some")), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QLatin1String("system.ini")), qPrintable(r.err));

    // A value out of range: the key and the file's value.
    QByteArray ini = "[Ys]\r\n";
    for (int i = 1; i <= 22; ++i) ini += "ys" + QByteArray::number(i) + "=" + (i == 3 ? "300" : "5") + "\r\n";
    const QString big = write(QStringLiteral("big.ini"), ini);
    r = run({"--port", port, "restore", big, "--yes"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(big + QLatin1String(": Ys.ys3 = 300 was refused")), qPrintable(r.err));
    QCOMPARE(controller->requestsStartingWith(QStringLiteral("0007")), QStringList());
}

void TestTarsynctl::watchOfASilentControllerPrintsAtTheRefreshTime() {
    auto controller = sim(QStringLiteral("mute"), {QStringLiteral("--no-answer")});
    QVERIFY(controller);
    QTemporaryDir data;
    QVERIFY(
        QFile::copy(binDir() + QStringLiteral("/English.lag"), data.filePath(QStringLiteral("English.lag"))));
    QFile ini(data.filePath(QStringLiteral("system.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Set]\r\nlanguage=English\r\nflash=3\r\n");
    ini.close();
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(binDir() + QStringLiteral("/tarsynctl"),
            {"--data-dir", data.path(), "--port", path(QStringLiteral("mute")), "live", "--watch", "--json"});
    QVERIFY(p.waitForStarted(10000));
    // Three polls, each printed as it comes: their stamps are the refresh time (3 s) apart, not the
    // one-second wait of an unanswered request.
    QStringList lines;
    QTRY_VERIFY_WITH_TIMEOUT(
        (lines += QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)).size() >= 3,
        30000);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QVector<QDateTime> times;
    for (const QString& line : lines.mid(0, 3)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        QCOMPARE(o[QStringLiteral("linked")].toBool(), false);
        times << QDateTime::fromString(o[QStringLiteral("time")].toString(), Qt::ISODate);
    }
    // Stamped in whole seconds: two periods of 3 s are 6 or 7 apart (2 s periods would be 4 or 5).
    const qint64 span = times.at(0).secsTo(times.at(2));
    QVERIFY2(span >= 6 && span <= 7, qPrintable(QString::number(span)));
}

void TestTarsynctl::progressOnATerminalCountsUpOnce() {
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("no script(1) to give tarsynctl a terminal");
    auto controller = sim(QStringLiteral("bar"));
    QVERIFY(controller);
    // The delay page's two blocks, each read in 300 one-millisecond steps: one bar of 600 under one
    // label, not 0/300 twice.
    const QString command =
        QStringLiteral("%1/tarsynctl --data-dir %1 --language English --port %2 page read delays")
            .arg(binDir(), path(QStringLiteral("bar")));
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(QStringLiteral("script"), {"-qc", command, "/dev/null"});
    QVERIFY(p.waitForFinished(60000));
    const QString tty = QString::fromUtf8(p.readAllStandardOutput());
    QSet<int> totals;
    int highest = -1;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral(" (\\d+)/(\\d+)")).globalMatch(tty);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        totals.insert(m.captured(2).toInt());
        highest = qMax(highest, m.captured(1).toInt());
    }
    QCOMPARE(totals, QSet<int>{600});
    QCOMPARE(highest, 600);
}

QTEST_GUILESS_MAIN(TestTarsynctl)
#include "tst_tarsynctl.moc"
