// A page save killed at any moment leaves system.ini with the old block or the new one, never a
// mix: a child process (this same executable) saves the delay page's second block over and over,
// each time with new values, and is SIGKILLed at a varying step of a save.
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include "FakeClock.h"
#include "FakePageView.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/ControllerLink.h"
#include "pages/PageEngine.h"
#include "pages/PageTable.h"

using namespace tarsyn;

namespace {

const char* const kChildVariable = "TARSYN_PAGE_SAVE_CHILD";
const int kSecondBlock = 1;  // "ys11" to "ys22"

/// The child: types round number n into every field of the block and saves it, until it is killed.
int saveForever(const QString& dir) {
    config::Config config(dir);
    config::LiveSettings settings;
    config::Messages messages(config, settings);
    test::FakeSerialPort port;
    test::FakeSleeper sleeper;
    link::ControllerLink link(port, sleeper);
    test::FakePollControl poll;
    test::ScriptedPrompter prompter;
    const pages::Page& page = pages::delayPage();
    test::FakePageView view(page);
    pages::PageEngine engine(page, view, pages::PageServices{link, poll, config, messages, prompter});
    view.onEdit = [&engine](const QString& control) { engine.edited(control); };
    for (int round = 1;; ++round) {
        for (const pages::Field& f : page.blocks[kSecondBlock].fields)
            view.type(f.control, QString::number(round));
        engine.save(kSecondBlock);
        if (prompter.shown.value(0).startsWith(QLatin1String("error:"))) return 1;
        prompter.shown.clear();
    }
}

}  // namespace

class TestPageSaveKill : public QObject {
    Q_OBJECT
private slots:
    void killedSaveLeavesTheOldOrTheNewBlock_data();
    void killedSaveLeavesTheOldOrTheNewBlock();
};

void TestPageSaveKill::killedSaveLeavesTheOldOrTheNewBlock_data() {
    QTest::addColumn<int>("changes");  // changes of the data folder seen before the kill
    for (int changes : {1, 2, 3, 4, 5, 7, 9, 12, 16, 21, 27, 34})
        QTest::newRow(qPrintable(QStringLiteral("after %1").arg(changes))) << changes;
}

void TestPageSaveKill::killedSaveLeavesTheOldOrTheNewBlock() {
    QFETCH(int, changes);
    QTemporaryDir dir;
    config::Config config(dir.path());
    QList<config::IniEntry> before{{"Set", "language", "Chinese"}};
    for (int i = 1; i <= 22; ++i) before.append({"Ys", QStringLiteral("ys%1").arg(i), QStringLiteral("old")});
    config.wriniBatch("system.ini", before);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildVariable), dir.path());
    child.setProcessEnvironment(env);
    child.setStandardOutputFile(QProcess::nullDevice());
    // Every file the child creates, replaces or removes in the folder is a change; the kill follows
    // the n-th one as soon as it is noticed, so it lands at a different step of a save each time.
    QFileSystemWatcher watcher({dir.path()});
    int seen = 0;
    connect(&watcher, &QFileSystemWatcher::directoryChanged, &child, [&] {
        if (++seen == changes) child.kill();
    });
    QEventLoop loop;
    connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);  // a child that hangs fails below
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    loop.exec();
    QCOMPARE(child.state(), QProcess::NotRunning);
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);  // killed, never ended on an error of its own

    // Every key of the block holds one save's values ("old" before the first); the rest of the file
    // is untouched.
    const config::IniSection ys = config.readSection("system.ini", "Ys");
    QCOMPARE(ys.size(), 22);
    const QString value = ys.value("ys11");
    for (int i = 12; i <= 22; ++i) QCOMPARE(ys.value(QStringLiteral("ys%1").arg(i)), value);
    for (int i = 1; i <= 10; ++i) QCOMPARE(ys.value(QStringLiteral("ys%1").arg(i)), QStringLiteral("old"));
    QCOMPARE(config.reini("system.ini", "Set", "language"), QStringLiteral("Chinese"));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString childDir = qEnvironmentVariable(kChildVariable);
    if (!childDir.isEmpty()) return saveForever(childDir);
    TestPageSaveKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pageSaveKill.moc"
