// A serve line that fails while it runs (its thread throws): logged, made again after 1, 2, 4 … times
// the first wait, and when it cannot be made within the tries allowed the service ends with exit 4,
// for the service manager to start it again, after ending its other lines cleanly.
#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "cli/Console.h"
#include "cli/Options.h"
#include "cli/Serve.h"

using namespace tarsyn;

namespace {

/// Standard error into a file for the life of this object (the terminal writes its lines there).
class CapturedStderr {
public:
    explicit CapturedStderr(const QString& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        m_file = std::fopen(path.toLocal8Bit().constData(), "w");
        ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~CapturedStderr() { restore(); }
    /// Every line written so far; standard error is the terminal's again.
    QStringList restore() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            std::fclose(m_file);
            m_saved = -1;
        }
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString m_path;
    int m_saved = -1;
    FILE* m_file = nullptr;
};

QStringList containing(const QStringList& lines, const QString& text) {
    QStringList out;
    for (const QString& l : lines)
        if (l.contains(text)) out << l;
    return out;
}

}  // namespace

class TestServeRestart : public QObject {
    Q_OBJECT

private slots:
    void aLineThatThrowsIsMadeAgainWithBackoff() {
        QTemporaryDir dir;
        QStringList log;
        std::atomic<int> made{0};
        QSemaphore polling;
        {
            CapturedStderr captured(dir.filePath("stderr"));
            cli::Terminal terminal(false, false);
            cli::RestartPolicy policy;
            policy.firstMs = 1;
            policy.attempts = 3;
            cli::Service service(cli::SessionSettings{dir.path()}, {{"ttyTEST1", "North", ""}}, terminal,
                                 policy,
                                 [&](const config::PortEntry& entry, bool, QEventLoop& loop,
                                     const std::function<void()>& running) {
                                     if (++made <= 2)
                                         throw std::runtime_error("the station's port went away");
                                     running();
                                     polling.release();
                                     loop.exec();
                                     cli::LineSummary s;
                                     s.port = entry.port;
                                     s.readings = 42;
                                     return s;
                                 });
            QCOMPARE(service.start(), int(cli::kExitOk));
            QVERIFY(polling.tryAcquire(1, 30000));  // the third try polls
            const QVector<cli::LineSummary> summaries = service.stop();
            QVERIFY(!service.failed());
            QCOMPARE(summaries.size(), 1);
            QCOMPARE(summaries[0].readings, qint64(42));  // the summary of the line that ran
            log = captured.restore();
        }
        QCOMPARE(made.load(), 3);
        QCOMPARE(containing(log, "the line stopped: the station's port went away").size(), 2);
        // Twice the wait at each try: 1 ms, then 2 ms.
        QCOMPARE(containing(log, "made again in").size(), 2);
        QVERIFY2(!containing(log, "made again in 0.001 s (try 1 of 3)").isEmpty(),
                 qPrintable(log.join('\n')));
        QVERIFY2(!containing(log, "made again in 0.002 s (try 2 of 3)").isEmpty(),
                 qPrintable(log.join('\n')));
    }

    void aLineThatCannotBeMadeAgainEndsServeWithExit4() {
        QTemporaryDir dir;
        QStringList log;
        std::atomic<int> badTries{0}, goodEnded{0};
        int code = -1;
        {
            CapturedStderr captured(dir.filePath("stderr"));
            cli::Terminal terminal(false, false);
            cli::RestartPolicy policy;
            policy.firstMs = 1;
            policy.attempts = 2;
            // No signal ends it: the line given up does.
            code = cli::Serve(cli::SessionSettings{dir.path()},
                              {{"ttyTEST1", "North", ""}, {"ttyTEST2", "South", ""}}, terminal, policy,
                              [&](const config::PortEntry& entry, bool, QEventLoop& loop,
                                  const std::function<void()>& running) {
                                  if (entry.remark == "South") {
                                      ++badTries;
                                      throw std::runtime_error("cannot make the recorder");
                                  }
                                  running();
                                  loop.exec();
                                  ++goodEnded;
                                  cli::LineSummary s;
                                  s.port = entry.port;
                                  s.remark = entry.remark;
                                  return s;
                              });
            log = captured.restore();
        }
        QCOMPARE(code, int(cli::kExitFailed));
        QCOMPARE(code, 4);
        QCOMPARE(badTries.load(), 3);   // the first try and two more
        QCOMPARE(goodEnded.load(), 1);  // the healthy line was ended cleanly, once
        QVERIFY2(!containing(log, "ttyTEST2 (South): the line could not be restarted").isEmpty(),
                 qPrintable(log.join('\n')));
        QVERIFY(!containing(log, "could not be restarted, ending (exit 4)").isEmpty());
        QVERIFY(!containing(log, "ttyTEST1 (North): 0 live readings").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestServeRestart)
#include "tst_serveRestart.moc"
