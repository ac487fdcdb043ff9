// tarsyn-sim: a virtual generator-set controller on a pseudo-terminal, for tests, demos and
// training without hardware. The first line of standard output is the device to open.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <deque>

#include "AlarmLogCommands.h"
#include "Console.h"
#include "ControllerMemory.h"
#include "EngineModel.h"
#include "LinkGuard.h"
#include "PseudoTerminal.h"
#include "ReplyShaper.h"
#include "RequestHandler.h"
#include "link/Clock.h"

using namespace tarsyn::sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 's';
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &c, 1);
}

qint64 steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// 2400 baud, 10 bits a character (start, 8 data, stop).
constexpr qint64 kCharUs = 10 * 1000000 / 2400;

const char kStdinHelp[] =
    "While running, lines on standard input are commands:\n"
    "  alarm on    raise the emergency stop (alarm bits 7 and 0, a new alarm log record)\n"
    "  alarm off   clear it\n"
    "  fault XX    add an alarm log record with code XX (hexadecimal) and the current time\n"
    "  log N       replace the alarm log with N records (0-255)\n"
    "  start, stop, auto, test   the operating commands, as if sent on the line\n"
    "  line clean  switch every line fault off\n"
    "  line noise N              N hexadecimal digits before every reply (0: off)\n"
    "  line short N|off          cut every reply to N characters\n"
    "  line garbage|digit|other|unasked|late|silent|foreign on|off   switch one line fault\n"
    "  quit        end the simulator\n"
    "Each command is acknowledged on standard output once in force: 'ok: alarm on'.\n";

struct Outgoing {
    QByteArray data;
    qint64 dueUs;
};

void logLine(bool verbose, const QString& text) {
    if (!verbose) return;
    fprintf(stderr, "tarsyn-sim: %s\n", qPrintable(text));
}

QString printable(const QByteArray& bytes) {
    QString s = QString::fromLatin1(bytes);
    s.replace(QLatin1String("\r"), QLatin1String("<CR>"));
    s.replace(QLatin1String("\n"), QLatin1String("<LF>"));
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarsyn-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSYN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Virtual generator-set controller on a pseudo-terminal. Prints the device path "
                       "as the first line of standard output, then answers requests (2400 baud text "
                       "protocol) until SIGTERM, SIGINT or 'quit'.\n\n") +
        QLatin1String(kStdinHelp));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption linkOpt(
        QStringLiteral("link"),
        QStringLiteral("Make <path> a symbolic link to the device (a stale link is replaced)."),
        QStringLiteral("path"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
                                     QStringLiteral("Seed of the reading jitter and noise (default 1)."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption paceOpt(
        QStringLiteral("pace"),
        QStringLiteral("Send replies at the real 2400-baud rate (about 4.2 ms a character)."));
    const QCommandLineOption delayOpt(QStringLiteral("delay"),
                                      QStringLiteral("Answer <ms> milliseconds late."), QStringLiteral("ms"),
                                      QStringLiteral("0"));
    const QCommandLineOption alarmOpt(QStringLiteral("alarm"),
                                      QStringLiteral("Start with the emergency stop raised."));
    const QCommandLineOption runningOpt(
        QStringLiteral("running"), QStringLiteral("Start with the engine running and supplying the load."));
    const QCommandLineOption noAnswerOpt(QStringLiteral("no-answer"), QStringLiteral("Never answer."));
    const QCommandLineOption shortOpt(
        QStringLiteral("short"), QStringLiteral("Cut every reply to <n> characters."), QStringLiteral("n"));
    const QCommandLineOption garbageOpt(QStringLiteral("garbage"),
                                        QStringLiteral("Send a few noise characters before every reply."));
    const QCommandLineOption noiseOpt(QStringLiteral("noise"),
                                      QStringLiteral("Send <n> hexadecimal digits before every reply."),
                                      QStringLiteral("n"));
    const QCommandLineOption digitOpt(
        QStringLiteral("changed-digit"),
        QStringLiteral("Change one digit of every reply (data, count or check)."));
    const QCommandLineOption otherOpt(
        QStringLiteral("other-block"),
        QStringLiteral("Answer every block read with another block of another size (the delay block, or "
                       "the live block when the delay block was asked for)."));
    const QCommandLineOption foreignOpt(
        QStringLiteral("foreign-data"),
        QStringLiteral("Answer every block read with a well-formed frame of the count asked for whose "
                       "bytes are another address's (0x90, 0x91, ...)."));
    const QCommandLineOption unaskedOpt(QStringLiteral("unasked"),
                                        QStringLiteral("Send a frame nobody asked for before every reply "
                                                       "(with --delay: before a slow reply)."));
    const QCommandLineOption lateOpt(QStringLiteral("late-joined"),
                                     QStringLiteral("Hold every other reply back and send it joined in front "
                                                    "of the next one."));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Log every request and reply to standard error."));
    const QCommandLineOption steadyOpt(QStringLiteral("steady"),
                                       QStringLiteral("Readings without jitter: a calibrated channel reads "
                                                      "exactly the value written."));
    const QCommandLineOption alarmLogOpt(QStringLiteral("alarm-log"),
                                         QStringLiteral("Start with an alarm log of <n> records (0-255)."),
                                         QStringLiteral("n"));
    parser.addOptions({linkOpt, seedOpt, paceOpt, delayOpt, alarmOpt, runningOpt, noAnswerOpt, shortOpt,
                       garbageOpt, noiseOpt, digitOpt, otherOpt, foreignOpt, unaskedOpt, lateOpt, verboseOpt,
                       steadyOpt, alarmLogOpt});
    parser.process(app);  // --help prints and exits; an unknown option is reported and exits 1

    auto number = [&](const QCommandLineOption& opt, const char* what, qint64 max) -> qint64 {
        bool ok = false;
        const qint64 v = parser.value(opt).toLongLong(&ok);
        if (!ok || v < 0 || v > max) {
            fprintf(stderr, "tarsyn-sim: %s must be a whole number from 0 to %lld, not '%s'\n", what,
                    static_cast<long long>(max), qPrintable(parser.value(opt)));
            ::exit(1);
        }
        return v;
    };
    const quint32 seed = quint32(number(seedOpt, "--seed", 0xFFFFFFFFll));
    const qint64 delayMs = number(delayOpt, "--delay", 600000);
    FaultOptions faults;
    faults.noAnswer = parser.isSet(noAnswerOpt);
    faults.garbage = parser.isSet(garbageOpt);
    if (parser.isSet(shortOpt)) faults.shortLength = int(number(shortOpt, "--short", 100000));
    if (parser.isSet(noiseOpt)) faults.noise = int(number(noiseOpt, "--noise", 1000));
    faults.changedDigit = parser.isSet(digitOpt);
    faults.otherBlock = parser.isSet(otherOpt);
    faults.foreignData = parser.isSet(foreignOpt);
    faults.unasked = parser.isSet(unaskedOpt);
    faults.lateJoined = parser.isSet(lateOpt);
    const bool pace = parser.isSet(paceOpt);
    const bool verbose = parser.isSet(verboseOpt);

#ifdef __linux__
    // A test that dies must not leave its simulator behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif

    // Taking over a link another simulator serves would cut its client off, and the link would go
    // when this one ends.
    if (const qint64 owner = parser.isSet(linkOpt) ? simulatorServingLink(parser.value(linkOpt)) : 0) {
        fprintf(stderr,
                "tarsyn-sim: --link %s is in use: it points at %s, the device of the running simulator "
                "(process %lld). Stop that one first or choose another path.\n",
                qPrintable(parser.value(linkOpt)),
                qPrintable(QFileInfo(parser.value(linkOpt)).symLinkTarget()), static_cast<long long>(owner));
        return 1;
    }
    PseudoTerminal pty;
    if (!pty.open()) {
        fprintf(stderr, "tarsyn-sim: cannot open a pseudo-terminal: %s\n", qPrintable(pty.errorString()));
        return 1;
    }
    if (parser.isSet(linkOpt) && !pty.createLink(parser.value(linkOpt))) {
        fprintf(stderr, "tarsyn-sim: cannot create --link %s: %s\n", qPrintable(parser.value(linkOpt)),
                qPrintable(pty.errorString()));
        return 1;
    }

    if (pipe(g_signalPipe) != 0) {
        fprintf(stderr, "tarsyn-sim: pipe: %s\n", strerror(errno));
        return 1;
    }
    for (int fd : g_signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);  // a signal handler must never block
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);  // started in the background of a terminal: no console, no stop

    tarsyn::link::SystemClock clock;
    ControllerMemory memory;
    memory.loadFactoryImage();
    EngineModel engine(memory, clock, seed);
    engine.setSteady(parser.isSet(steadyOpt));
    if (parser.isSet(runningOpt)) engine.startRunning();
    if (parser.isSet(alarmLogOpt)) SeedAlarmLog(memory, int(number(alarmLogOpt, "--alarm-log", 255)));
    if (parser.isSet(alarmOpt)) engine.setAlarm(true, true);
    engine.refresh();
    RequestHandler handler(memory, engine);
    ReplyShaper shaper(faults, seed);
    LineBuffer requests;
    LineBuffer consoleLines;

    printf("%s\n", qPrintable(pty.slavePath()));
    fflush(stdout);

    std::deque<Outgoing> outgoing;
    qint64 lastDueUs = 0;
    bool stdinOpen = true;
    bool quit = false;

    auto schedule = [&](const QByteArray& data) {
        if (data.isEmpty()) return;
        qint64 due = qMax(steadyUs() + delayMs * 1000, lastDueUs);
        if (pace) {
            for (char c : data) {
                due += kCharUs;
                outgoing.push_back({QByteArray(1, c), due});
            }
        } else {
            outgoing.push_back({data, due});
        }
        lastDueUs = due;
    };

    Console console(memory, engine, faults, shaper);
    auto consoleLine = [&](const QByteArray& raw) {
        QString said;
        const Console::Outcome outcome = console.run(raw, clock.now(), &said);
        if (!said.isEmpty()) logLine(true, said);
        if (outcome == Console::Outcome::Unknown)
            fprintf(stderr, "tarsyn-sim: unknown command '%s'\n%s", qPrintable(Console::normalised(raw)),
                    kStdinHelp);
        if (outcome == Console::Outcome::Quit) quit = true;
        // Said once the command has taken effect: the next request is served with it.
        const QByteArray ack = Console::acknowledgement(raw, outcome);
        if (!ack.isEmpty()) {
            printf("%s\n", ack.constData());
            fflush(stdout);
        }
    };

    while (!quit) {
        int timeoutMs = -1;
        if (!outgoing.empty()) {
            const qint64 waitUs = outgoing.front().dueUs - steadyUs();
            timeoutMs = waitUs <= 0 ? 0 : int((waitUs + 999) / 1000);
        }
        pollfd fds[3] = {{pty.masterFd(), POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}, {0, POLLIN, 0}};
        const int nfds = stdinOpen ? 3 : 2;
        const int ready = poll(fds, nfds, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "tarsyn-sim: poll: %s\n", strerror(errno));
            break;
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) break;
        if (ready > 0 && stdinOpen && (fds[2].revents & (POLLIN | POLLHUP))) {
            char buf[256];
            const ssize_t n = read(0, buf, sizeof buf);
            if (n <= 0)
                stdinOpen = false;  // no console: serve the line only
            else
                for (const QByteArray& l : consoleLines.feed(QByteArray(buf, int(n)))) consoleLine(l);
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            char buf[512];
            const ssize_t n = read(pty.masterFd(), buf, sizeof buf);
            if (n > 0) {
                for (const QByteArray& line : requests.feed(QByteArray(buf, int(n)))) {
                    const Reply reply = handler.handle(shaper.redirect(line));
                    if (!reply.answered) {
                        logLine(verbose,
                                QStringLiteral("<- %1  (no answer: %2)").arg(printable(line), reply.reason));
                        continue;
                    }
                    const QByteArray sent = shaper.shape(reply.text);
                    logLine(verbose,
                            QStringLiteral("<- %1  -> %2")
                                .arg(printable(line),
                                     sent.isEmpty() ? QStringLiteral("(nothing sent)") : printable(sent)));
                    schedule(sent);
                }
            }
        }
        // Send what is due. A full pty buffer means earlier replies lie unread (their client is
        // gone): they are dropped, and the write is retried a little later.
        const qint64 now = steadyUs();
        while (!outgoing.empty() && outgoing.front().dueUs <= now) {
            Outgoing& o = outgoing.front();
            const ssize_t n = write(pty.masterFd(), o.data.constData(), size_t(o.data.size()));
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    if (errno == EAGAIN) pty.discardUnread();
                    o.dueUs = now + 10000;
                } else {
                    logLine(verbose,
                            QStringLiteral("write failed: %1").arg(QString::fromLocal8Bit(strerror(errno))));
                    outgoing.pop_front();
                }
                break;
            }
            o.data.remove(0, int(n));
            if (o.data.isEmpty()) outgoing.pop_front();
        }
    }
    pty.removeLink();
    return 0;
}
