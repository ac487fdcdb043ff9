#include "cli/Tarsynctl.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstdio>
#include <functional>

#include "cli/ControllerJobs.h"
#include "cli/HistoryExport.h"
#include "cli/LiveJob.h"
#include "cli/Options.h"
#include "cli/PageJobs.h"
#include "cli/PortRunner.h"
#include "cli/RemoteSender.h"
#include "cli/Serve.h"
#include "config/Config.h"
#include "config/DataFolder.h"

namespace tarsyn::cli {

namespace {

/// Everything a sub-command's runner gets.
struct Context {
    const Options& options;
    SessionSettings settings;
    Terminal& terminal;
    QStringList ports;
    const config::Config& data;
};

/// Whether a sub-command takes ports: none, at least one, or any number (serve: none given means
/// the port list's).
enum class Ports { None, Needed, Optional };

/// One sub-command: its name, synopsis, help, the options it takes besides the shared ones, whether
/// it talks to controllers and its runner. A sub-command that needs ports is a per-port job
/// (runOnPorts).
struct SubCommand {
    const char* name;
    const char* synopsis;
    const char* help;
    QSet<QString> flags;
    Ports ports;
    int (*run)(Context&);
};

int usage(const char* command, const QString& problem);

/// The file a per-port job reads or writes: FILE itself for one port, FILE with the port's base name
/// inserted for several.
QString fileFor(const Context& ctx, const QString& file, const QString& port) {
    return ctx.ports.size() > 1 && !ctx.options.oneFile ? PerPortFile(file, port) : file;
}

/// Several ports whose base names coincide would share a file.
QString perPortClash(const Context& ctx, const QString& file) {
    QSet<QString> seen;
    for (const QString& port : ctx.ports) {
        const QString name = fileFor(ctx, file, port);
        if (seen.contains(name)) return QStringLiteral("two ports would share the file %1").arg(name);
        seen.insert(name);
    }
    return {};
}

/// Why `file` cannot be read, or empty.
QString unreadable(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("cannot read %1: %2").arg(file, f.errorString());
    return {};
}

int runOnPorts(Context& ctx, const PortJob& job) {
    return FinishPorts(RunOnPorts(ctx.ports, ctx.settings, ctx.terminal, job));
}

int runPage(Context& ctx) {
    const QStringList& w = ctx.options.words;
    if (w.size() < 2) return usage("page", QStringLiteral("say read or write and the page"));
    const pages::Page* page = PageByName(w.at(1));
    if (!page)
        return usage(
            "page",
            QStringLiteral("no page \"%1\" (%2)").arg(w.at(1), PageNames().join(QStringLiteral(", "))));
    if (w.at(0) == QLatin1String("read") && w.size() == 2)
        return runOnPorts(ctx, [page](Session& s) { return PageRead(s, *page); });
    if (w.at(0) == QLatin1String("write") && w.size() == 3) {
        const QString file = w.at(2);
        if (const QString error = unreadable(file); !error.isEmpty()) return usage("page", error);
        return runOnPorts(ctx, [page, file](Session& s) { return PageWrite(s, *page, file); });
    }
    return usage("page", QStringLiteral("page read NAME, or page write NAME FILE"));
}

/// Several ports' JSON objects as one document: an array in port order, a port that printed none
/// as its port and "linked": false; one port's object as it is.
int finishJson(const QVector<PortResult>& results) {
    if (results.size() < 2) return FinishPorts(results);
    QJsonArray array;
    int worst = kExitOk;
    for (const PortResult& r : results) {
        QJsonObject o = QJsonDocument::fromJson(r.out).object();
        if (o.isEmpty() || !o.contains(QStringLiteral("port")))
            o = QJsonObject{{QStringLiteral("port"), r.port}, {QStringLiteral("linked"), false}};
        array.append(o);
        worst = qMax(worst, r.exitCode);
    }
    const QByteArray out = QJsonDocument(array).toJson(QJsonDocument::Indented);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return worst;
}

int runFileJob(Context& ctx, const char* name, const std::function<int(Session&, const QString&)>& job,
               bool reads, bool json = false) {
    if (ctx.options.words.size() != 1) return usage(name, QStringLiteral("give one FILE"));
    const QString file = ctx.options.words.at(0);
    if (!ctx.options.oneFile)
        if (const QString clash = perPortClash(ctx, file); !clash.isEmpty()) return usage(name, clash);
    // A file to read that is missing or unreadable is a usage error before any port is opened.
    if (reads)
        for (const QString& port : ctx.ports)
            if (const QString error = unreadable(fileFor(ctx, file, port)); !error.isEmpty())
                return usage(name, error);
    const PortJob perPort = [&ctx, file, job](Session& s) {
        return job(s, fileFor(ctx, file, s.portName()));
    };
    if (json) return finishJson(RunOnPorts(ctx.ports, ctx.settings, ctx.terminal, perPort));
    return runOnPorts(ctx, perPort);
}

int runBackup(Context& ctx) { return runFileJob(ctx, "backup", Backup, false); }
int runRestore(Context& ctx) {
    const RestoreMode mode{ctx.options.all, ctx.options.dryRun};
    return runFileJob(
        ctx, "restore", [mode](Session& s, const QString& file) { return Restore(s, file, mode); }, true);
}
int runDiff(Context& ctx) {
    const bool json = ctx.options.json;
    return runFileJob(
        ctx, "diff", [json](Session& s, const QString& file) { return Diff(s, file, json); }, true, json);
}

int runLive(Context& ctx) {
    if (!ctx.options.words.isEmpty()) return usage("live", QStringLiteral("takes no words"));
    const bool json = ctx.options.json, watch = ctx.options.watch, stats = ctx.options.stats;
    // The watch polls at the program's refresh time; a folder without one polls every second.
    bool ok = false;
    int interval =
        ctx.data.reini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("flash"))
            .toInt(&ok);
    if (!ok || interval < 1 || interval > 3600) interval = 1;
    const PortJob job = [json, watch, interval, stats](Session& s) {
        try {
            return Live(s, json, watch, interval, stats);
        } catch (const Stopped&) {
            if (watch) return int(kExitOk);  // a watch runs until stopped: that is its end
            throw;
        }
    };
    if (!json || watch) return runOnPorts(ctx, job);
    // One poll of several ports is one JSON document, an array of their objects in port order (a
    // port that gave no reading: its port and "linked": false), so that jq reads it whole.
    return finishJson(RunOnPorts(ctx.ports, ctx.settings, ctx.terminal, job));
}

int runAlarms(Context& ctx) {
    if (!ctx.options.words.isEmpty()) return usage("alarms", QStringLiteral("takes no words"));
    const bool csv = ctx.options.csv;
    return runOnPorts(ctx, [csv](Session& s) { return Alarms(s, csv); });
}

int runCommand(Context& ctx) {
    const QStringList& w = ctx.options.words;
    if (w.size() != 1 || !CommandNames().contains(w.at(0)))
        return usage("command",
                     QStringLiteral("name one of %1").arg(CommandNames().join(QStringLiteral(", "))));
    const QString name = w.at(0);
    return runOnPorts(ctx, [name](Session& s) { return Command(s, name); });
}

int runCalibrate(Context& ctx) {
    const QStringList& w = ctx.options.words;
    if (w.size() != 2) return usage("calibrate", QStringLiteral("give CHANNEL and VALUE"));
    const QString channel = w.at(0), value = w.at(1);
    // A channel may also be named by its reading's caption in the catalogue: each line resolves it.
    return runOnPorts(ctx, [channel, value](Session& s) {
        const int code = Calibrate(s, channel, value);
        if (code == kExitUsage)
            s.terminal().line(QStringLiteral("tarsynctl calibrate: no channel \"%1\" (%2)")
                                  .arg(channel, CalibrationChannelNames().join(QStringLiteral(", "))));
        return code;
    });
}

int runHistory(Context& ctx) {
    const Options& o = ctx.options;
    if (o.words != QStringList{QStringLiteral("export")})
        return usage("history", QStringLiteral("the only history sub-command is export"));
    if (o.controller.isEmpty() || o.channel.isEmpty())
        return usage("history", QStringLiteral("--controller and --channel are needed"));
    HistoryRequest request;
    request.controller = o.controller;
    request.channel = o.channel;
    request.language = ctx.settings.language;
    request.hour = o.hour || !o.day;
    request.day = o.day || !o.hour;
    request.csv = o.csv;
    QByteArray out;
    const int code = HistoryExport(ctx.data, request, ctx.terminal, out);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return code;
}

int runServe(Context& ctx) {
    if (!ctx.options.words.isEmpty()) return usage("serve", QStringLiteral("takes no words"));
    config::LiveSettings settings;
    settings.load(ctx.data);
    const QVector<config::PortEntry> lines = ServeLines(ctx.ports, settings.ports());
    // No line because the settings are damaged (random bytes, no section Set): said as the window
    // program says it, not taken for an empty port list.
    if (lines.isEmpty() && QFileInfo::exists(ctx.data.filePath(QStringLiteral("system.ini"))) &&
        ctx.data.readSection(QStringLiteral("system.ini"), QStringLiteral("Set")).size() == 0) {
        QString problem = config::SettingsCheckProblem(ctx.data);
        if (problem.isEmpty())
            problem = QStringLiteral("%1 has no section [Set]")
                          .arg(ctx.data.filePath(QStringLiteral("system.ini")));
        ctx.terminal.line(QStringLiteral("tarsynctl serve: system.ini Error! %1").arg(problem));
        return kExitUsage;
    }
    return Serve(ctx.settings, lines, ctx.terminal);
}

// Runs before the data folder is looked for: a sender of commands needs none.
int runRemote(Context& ctx) {
    const Options& o = ctx.options;
    if (o.words.size() != 2) return usage("remote", QStringLiteral("COMMAND and CONTROLLER are needed"));
    if (o.broker.isEmpty() || o.client.isEmpty() || o.keyFile.isEmpty())
        return usage("remote", QStringLiteral("--broker, --client and --key-file are needed"));
    if (o.user.isEmpty() != o.passwordFile.isEmpty())
        return usage("remote", QStringLiteral("--user and --password-file go together"));
    RemoteRequest request;
    request.broker = o.broker;
    request.client = o.client;
    request.keyFile = o.keyFile;
    request.site = o.site;
    request.cafile = o.cafile;
    request.user = o.user;
    request.passwordFile = o.passwordFile;
    if (o.timeoutMs > 0) request.timeoutMs = o.timeoutMs;  // already refused outside 100 to 60000
    request.command = o.words.at(0).toLower();
    request.controller = o.words.at(1);
    const link::SystemClock clock;
    return SendRemoteCommand(request, clock, ctx.terminal);
}

const QString kFilesRule = QStringLiteral(
    "With several ports, FILE names one file per port: the port's base name is inserted before the\n"
    "extension (--port /dev/ttyUSB0 --port COM2 with backup.ini: backup-ttyUSB0.ini, backup-ttyS1.ini).\n"
    "diff and restore --one-file use FILE itself for every port (one reference for many controllers).\n");

const SubCommand kCommands[] = {
    {"page",
     "page read NAME | page write NAME FILE",
     "read: reads one parameter page from the controller and prints it as system.ini's page sections\n"
     "(the ini form the windows' \"save to file\" writes). write: loads the page from FILE (such\n"
     "sections), checks every field as the page window does (range, phone digits, station name,\n"
     "upper limits not below lower ones) before anything is sent, writes it word by word (about a\n"
     "second a word), reads it back and names any field the controller holds differently.\n"
     "A refused field sends nothing and exits 1. With several ports, write sends the same FILE to each.\n"
     "NAME is one of: delays, curves, system, bits, limits, sms.\n",
     {},
     Ports::Needed,
     runPage},
    {"backup",
     "backup FILE",
     "Reads all six parameter pages into FILE, one ini file whose sections are system.ini's page\n"
     "sections (Ys, Sw, Yy, Js, St, Kz, Bj, Gsm), so the windows' \"load from file\" can read it too.\n"
     "The file is replaced only once complete.\n",
     {},
     Ports::Needed,
     runBackup},
    {"restore",
     "restore FILE [--yes] [--dry-run] [--all] [--one-file]",
     "Writes the page sections FILE holds (a whole backup, or only some sections) to the controller.\n"
     "Every field of every section is checked before the first word goes out. The blocks are read\n"
     "first and only the stored words the controller holds differently are written (about a second\n"
     "a word), each block read back whole; any field the controller did not take is named (exit 1).\n"
     "A controller that holds the file already gets nothing (exit 0). --all writes every word of the\n"
     "file's blocks without reading them first. --dry-run prints what would be written (each field:\n"
     "the controller's value and the file's; with --all, every field) and sends nothing: exit 0 when\n"
     "nothing would be written, 1 when something would. Asks on a terminal unless --yes is given;\n"
     "without either nothing is sent (exit 1).\n",
     {"yes", "dry-run", "all", "one-file"},
     Ports::Needed,
     runRestore},
    {"diff",
     "diff FILE [--json] [--one-file]",
     "Reads the blocks FILE holds from the controller and compares them field by field with the\n"
     "file, as the controller stores them. Prints one line per differing field (section.key, its\n"
     "caption, the controller's value and the file's) and exits 1 when any differs. --json prints one\n"
     "JSON object instead (port, file, fields compared, differences: section, key, caption,\n"
     "controller, file), and with several ports one JSON array of them.\n",
     {"json", "one-file"},
     Ports::Needed,
     runDiff},
    {"live",
     "live [--watch] [--json] [--stats]",
     "One poll of the live block (the 21 readings with their units and the 32 indicators) and the\n"
     "delay block, as the main window's cycle reads them, printed as a table (caption, value, unit)\n"
     "or with --json as one JSON object (time with its offset, port, link, values and delays by key,\n"
     "mains_voltage_phase_a..., each with value, unit, panel and caption (the man page's LIVE FIELDS\n"
     "lists the keys), every indicator, the active ones with their captions). A reply with a value\n"
     "outside its physical range counts as a check error, not an answer. --watch polls again at the\n"
     "refresh time of the data folder's system.ini (else every second) and prints each poll as it\n"
     "comes, one JSON object a line with --json (JSON lines, each with its \"port\"), until stopped\n"
     "(Ctrl+C, exit 0); a poll without an answer is printed with \"linked\": false. Without --watch,\n"
     "--json prints one JSON document: the object for one port, an array of the objects (each with\n"
     "\"port\"; {\"port\", \"linked\": false} for one without a reading) for several.\n"
     "Without --watch no answer exits 3. --stats adds the\n"
     "line's counters since the tool started and for the last hour (requests, complete replies,\n"
     "timeouts, short, check-error and non-hexadecimal replies, port reopenings, median and 95th\n"
     "percentile reply time), as rows after the table or as \"stats\" in the JSON object.\n",
     {"json", "watch", "stats"},
     Ports::Needed,
     runLive},
    {"alarms",
     "alarms [--csv]",
     "Reads the controller's whole alarm log (every page of six records) and prints it as a table\n"
     "(number, time, code, alarm text in the catalogue language), or with --csv as the alarm\n"
     "window's CSV export (UTF-8 with a byte-order mark, CR LF).\n",
     {"csv"},
     Ports::Needed,
     runAlarms},
    {"command",
     "command start|auto|stop|test|factory [--yes]",
     "Sends an operating command, as the toolbar buttons do, once a live-block read shows the\n"
     "controller answering. The command line is itself the request; only factory (restore the\n"
     "controller's factory settings) asks again: --yes, or y on a terminal. Without a terminal and\n"
     "without --yes nothing is sent (exit 1).\n",
     {"yes"},
     Ports::Needed,
     runCommand},
    {"calibrate",
     "calibrate CHANNEL VALUE",
     "Tells the controller the true value of an analog channel, as the \"calibrate\" buttons do.\n"
     "CHANNEL: gen-l1 gen-l2 gen-l3 current-l1 current-l2 current-l3 battery mains-l1 mains-l2\n"
     "mains-l3, or the button (btn11-btn20), the panel (pnl11...) or the reading's caption. VALUE is\n"
     "in the unit the main window shows (the battery in volts with one decimal, sent as tenths),\n"
     "0 to 65535 (battery 0 to 6553.5). A refused value (negative included) sends nothing (exit 1);\n"
     "a value sent without the controller's echo is unconfirmed (exit 1).\n",
     {},
     Ports::Needed,
     runCalibrate},
    {"history",
     "history export --controller REMARK --channel NAME|sjN [--day|--hour] [--csv]",
     "Prints the recorded rows of one reading of one controller (REMARK, the port entry's remark the\n"
     "program records under) from the history store system.ini names: the data folder's kalde.db or\n"
     "the configured PostgreSQL. --hour: the last hour's table, --day: the last day's; both by\n"
     "default. Without --csv one line a row: chart, time, value (tab-separated); with --csv the curves\n"
     "window's CSV export. The channel: sj1 to sj20, 1 to 20, or the reading's caption. No --port.\n",
     {"csv", "day", "hour", "controller", "channel"},
     Ports::None,
     runHistory},
    {"remote",
     "remote --broker URL --client NAME --key-file F [--site S] [--cafile F] [--user U --password-file F] "
     "[--timeout MS] start|auto|stop|test CONTROLLER",
     "Sends one operating command to a site's service or window program through the MQTT broker, as\n"
     "the program takes them: signed with NAME's key from F (a file of \"NAME KEY\" lines, mode 0600\n"
     "or 0400, the site's commandKeys line of NAME), stamped with the time and a fresh id, on\n"
     "tarsyn/SITE/CONTROLLER/command (QoS 1, never retained). Waits (--timeout, default 10000 ms)\n"
     "for the result with its id on .../command/result and prints it (one JSON line). CONTROLLER is the "
     "port\n"
     "entry's remark (\"Genset 1\") or its topic level (Genset_1); SITE defaults to this host's name.\n"
     "URL: mqtt://host:1883 or mqtts://host:8883 (--cafile: the broker's authority). No --port and\n"
     "no data folder. Exit codes: 0 accepted, 1 refused (the reason is in the result), 2 usage, 3 no\n"
     "broker or no answer.\n",
     {"broker", "client", "key-file", "site", "cafile", "user", "password-file"},
     Ports::None,
     runRemote},
    {"serve",
     "serve",
     "The site service without a screen: polls every line of the data folder's port list (system.ini\n"
     "[Set], as the settings window lists them), or the --port lines given, all at once, each on a\n"
     "thread of its own, and records the history (\"nls\", \"24xs\") and the event\n"
     "journal exactly as the window program does (kalde.db or the configured PostgreSQL; the same\n"
     "tables and acceptance rules), with the alarm edges, the link watch and the operator's own watch\n"
     "limits. A --port that the port list names is recorded under its remark, any other under its\n"
     "base name. Refuses to start (exit 3) while another program, the window program included, holds\n"
     "one of the lines. Runs until SIGTERM or SIGINT, then writes every row and event it has taken\n"
     "and exits 0, printing each line's count. Everything it says goes to standard error, one line\n"
     "each, labelled with the port (the system journal when run as a service).\n"
     "Each line is read as the window program reads a fixed port: one block a second, live and delays\n"
     "in turn (a reading every two seconds); the refresh time is how often a closed or lost port is\n"
     "opened again, and the history takes rows at save1/save2, on a fixed grid.\n",
     {},
     Ports::Optional,
     runServe},
};

const SubCommand* findCommand(const QString& name) {
    for (const SubCommand& c : kCommands)
        if (name == QLatin1String(c.name)) return &c;
    return nullptr;
}

int usage(const char* command, const QString& problem) {
    std::fprintf(stderr, "tarsynctl %s: %s\nUsage: tarsynctl [options] %s\n(tarsynctl %s --help for more)\n",
                 command, problem.toLocal8Bit().constData(), findCommand(QLatin1String(command))->synopsis,
                 command);
    return kExitUsage;
}

/// The options given that `command` does not take.
QString foreignFlag(const Options& o, const SubCommand& command) {
    const std::pair<const char*, bool> given[] = {{"yes", o.yes},
                                                  {"csv", o.csv},
                                                  {"json", o.json},
                                                  {"watch", o.watch},
                                                  {"stats", o.stats},
                                                  {"day", o.day},
                                                  {"hour", o.hour},
                                                  {"dry-run", o.dryRun},
                                                  {"all", o.all},
                                                  {"one-file", o.oneFile},
                                                  {"controller", !o.controller.isEmpty()},
                                                  {"channel", !o.channel.isEmpty()},
                                                  {"broker", !o.broker.isEmpty()},
                                                  {"client", !o.client.isEmpty()},
                                                  {"key-file", !o.keyFile.isEmpty()},
                                                  {"site", !o.site.isEmpty()},
                                                  {"cafile", !o.cafile.isEmpty()},
                                                  {"user", !o.user.isEmpty()},
                                                  {"password-file", !o.passwordFile.isEmpty()}};
    for (const auto& [flag, on] : given)
        if (on && !command.flags.contains(QLatin1String(flag)))
            return QStringLiteral("--") + QLatin1String(flag);
    return {};
}

}  // namespace

QString UsageText() {
    QString text = QStringLiteral(
        "Usage: tarsynctl [options] COMMAND [words] [command options]\n"
        "The generator-set controllers from the command line: the window program's protocol, timings\n"
        "and range checks, without a display.\n\n"
        "Options:\n"
        "  --port NAME        a controller's serial line, named as in the program's port list (COM1,\n"
        "                     ttyUSB0 under /dev, /dev/ttyUSB0, or with a / in it a path relative to\n"
        "                     the working folder: build/demo/controller-1); repeat it for several\n"
        "                     controllers, each served on its own thread at once\n"
        "  --ports-file FILE  more ports, one name a line (# starts a comment); 64 ports at most\n"
        "  --data-dir DIR     data folder with system.ini and the catalogues (default: the program's,\n"
        "                     as tarsyn finds it)\n"
        "  --code-page NAME   code page of system.ini, the catalogues and page files (default GBK)\n"
        "  --language NAME    catalogue for alarm texts and messages (default: system.ini's language,\n"
        "                     else English)\n"
        "  --timeout MS       wait at least MS milliseconds (100 to 60000) for every reply, for a slow\n"
        "                     line (default: the program's own waits, a second for a live block)\n"
        "  --retries N        send a read again up to N times (0 to 10, default 0) when no usable\n"
        "                     reply came; writes are never repeated\n"
        "  --quiet, -q        errors and data only: no information lines, no progress\n"
        "  --help             this text; COMMAND --help for one command\n"
        "  --version          the program's version (alone)\n\n"
        "Commands:\n");
    for (const SubCommand& c : kCommands) text += QStringLiteral("  %1\n").arg(QLatin1String(c.synopsis));
    text += QStringLiteral(
        "\nEvery port is opened exclusively, locked under its real device (/run/lock/LCK..ttyUSB0; a\n"
        "symbolic link and its target are one line): a line another program holds is refused (exit 3),\n"
        "a lock whose process has ended is taken over. At most 64 ports a run (--port and --ports-file\n"
        "together, as the program's port list); more are refused at once (exit 2).\n"
        "SIGINT (Ctrl+C) or SIGTERM ends every line at its next wait, its port closed and its lock\n"
        "removed: a --watch so ended exits 0, any other command 128 + the signal (130, 143).\n");
    text += kFilesRule;
    text += QStringLiteral(
        "Output: data on standard output (labelled \"==> PORT <==\" per port when there are several),\n"
        "messages on standard error, progress only when standard error is a terminal.\n"
        "Exit codes: 0 success; 1 a difference, a refused value or an unconfirmed command; 2 usage, or a\n"
        "FILE that is missing, unreadable or holds no page section; 3 a port that would not open or a "
        "controller that did not answer (the worst of all ports).\n");
    return text;
}

QString CommandHelp(const QString& name) {
    const SubCommand* c = findCommand(name);
    if (!c) return {};
    QString text = QStringLiteral("Usage: tarsynctl [options] %1\n\n").arg(QLatin1String(c->synopsis));
    text += QLatin1String(c->help);
    if (c->ports == Ports::Needed) {
        text += QStringLiteral("\nNeeds --port NAME (repeatable) or --ports-file FILE.\n");
        if (QByteArray(c->synopsis).contains("FILE") && name != QLatin1String("page")) text += kFilesRule;
    }
    text += QStringLiteral(
        "Exit codes: 0 success, 1 difference or refusal, 2 usage or a bad FILE, 3 port or link "
        "failure.\n");
    return text;
}

int RunTarsynctl(const QStringList& arguments, const QString& applicationDir) {
    Options options;
    if (const QString error = ParseOptions(arguments, options); !error.isEmpty()) {
        std::fprintf(stderr, "tarsynctl: %s\n%s", error.toLocal8Bit().constData(),
                     UsageText().toLocal8Bit().constData());
        return kExitUsage;
    }
    if (options.command == QLatin1String("help")) {
        options.help = true;
        options.command = options.words.value(0);
    }
    if (options.help) {
        const QString text = options.command.isEmpty() ? UsageText() : CommandHelp(options.command);
        if (text.isEmpty()) {
            std::fprintf(stderr, "tarsynctl: no command \"%s\"\n", options.command.toLocal8Bit().constData());
            return kExitUsage;
        }
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    const SubCommand* command = findCommand(options.command);
    if (!command) {
        std::fprintf(stderr, "tarsynctl: %s\n%s",
                     options.command.isEmpty()
                         ? "no command given"
                         : qPrintable(QStringLiteral("no command \"%1\"").arg(options.command)),
                     UsageText().toLocal8Bit().constData());
        return kExitUsage;
    }
    if (const QString flag = foreignFlag(options, *command); !flag.isEmpty())
        return usage(command->name,
                     QStringLiteral("%1 is not an option of %2").arg(flag, QLatin1String(command->name)));

    if (command->run == runRemote) {
        if (!options.ports.isEmpty() || !options.portsFile.isEmpty())
            return usage(command->name, QStringLiteral("takes no --port"));
        Terminal terminal(false, false);
        const config::Config none{QString()};
        Context ctx{options, {}, terminal, {}, none};
        return runRemote(ctx);
    }
    const config::DataFolder folder =
        config::ResolveDataFolder(QStringList{QStringLiteral("tarsynctl")} + options.dataDirArguments,
                                  applicationDir, config::UserDataFolder());
    if (!folder.ok()) {
        std::fprintf(stderr, "tarsynctl: %s\n", folder.error.toLocal8Bit().constData());
        return kExitUsage;
    }
    const config::Config data(folder.path, options.codePage);
    if (!data.codePageSupported()) {
        std::fprintf(stderr, "tarsynctl: unknown code page %s\n", options.codePage.constData());
        return kExitUsage;
    }
    SessionSettings settings;
    settings.dataDir = folder.path;
    settings.codePage = options.codePage;
    settings.yes = options.yes;
    settings.timeoutMs = options.timeoutMs;
    settings.retries = options.retries;
    settings.quiet = options.quiet;
    const QStringList installed = config::CatalogueNames(folder.path);
    if (!options.language.isEmpty()) {
        if (!installed.contains(options.language)) {
            std::fprintf(stderr, "tarsynctl: no catalogue %s.lag in %s\n",
                         options.language.toLocal8Bit().constData(), folder.path.toLocal8Bit().constData());
            return kExitUsage;
        }
        settings.language = options.language;
    } else {
        const QString stored =
            data.reini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("language"));
        settings.language = installed.contains(stored) ? stored : QStringLiteral("English");
    }

    QStringList ports = options.ports;
    if (!options.portsFile.isEmpty()) {
        if (const QString error = ReadPortsFile(options.portsFile, ports); !error.isEmpty())
            return usage(command->name, error);
    }
    if (command->ports == Ports::Needed && ports.isEmpty())
        return usage(command->name, QStringLiteral("no --port given"));
    if (command->ports == Ports::None && !ports.isEmpty())
        return usage(command->name, QStringLiteral("takes no --port"));
    if (const QString error = CheckPortNames(ports, data); !error.isEmpty())
        return usage(command->name, error);

    Terminal terminal(isatty(STDIN_FILENO) && isatty(STDERR_FILENO), isatty(STDERR_FILENO));
    Context ctx{options, settings, terminal, ports, data};
    return command->run(ctx);
}

}  // namespace tarsyn::cli
