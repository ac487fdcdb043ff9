#include "cli/ControllerJobs.h"

#include <QTextStream>

#include "cli/Options.h"
#include "cli/Session.h"
#include "monitor/CommandGate.h"
#include "operations/ChannelCalibration.h"
#include "operations/OperatingCommands.h"
#include "reports/AlarmCsv.h"
#include "reports/AlarmHistory.h"

namespace tarsyn::cli {

namespace {

struct NamedCommand {
    const char* name;
    const char* button;  // the toolbar button the window program sends it from
};
const NamedCommand kCommands[] = {
    {"start", "dport3"}, {"auto", "dport4"}, {"stop", "dport5"}, {"test", "dport6"}, {"factory", "dport7"},
};

struct NamedChannel {
    const char* name;
    int button;
};
const NamedChannel kChannels[] = {
    {"gen-l1", 11},     {"gen-l2", 12},  {"gen-l3", 13},   {"current-l1", 14}, {"current-l2", 15},
    {"current-l3", 16}, {"battery", 17}, {"mains-l1", 18}, {"mains-l2", 19},   {"mains-l3", 20},
};

/// What the operations engines need of the program, for one session.
struct Operations {
    explicit Operations(Session& s)
        : gate(s.poll(), s.messages(), s.prompter()), services{gate,         s.poll(),     s.link(),
                                                               s.messages(), s.prompter(), {}} {
        services.sent = [this](const QString&, const QString&, const QString&) { sent = true; };
        services.declined = [this](const QString&, const QString&) { declined = true; };
        services.controller = [&s] { return s.portName(); };
        const config::IniSection translations = s.translations();
        services.caption = [translations](const QString& key) { return translations.value(key); };
    }
    monitor::CommandGate gate;
    operations::OperationServices services;
    bool sent = false;
    bool declined = false;
};

}  // namespace

int Alarms(Session& session, bool csv) {
    const reports::MessageLookup lookup = [&session](const QString& key) {
        return session.messages().text(key);
    };
    reports::AlarmHistory history(session.link(), session.poll(), session.prompter(), lookup);
    const QString what = lookup(QStringLiteral("Form17caption"));  // the alarm window's title
    const reports::WholeAlarmLog log =
        history.readWholeLog([&](int step, int steps) { session.progress(what, step, steps); });
    session.progress(what, -1, 0);
    if (!log.complete) {
        session.prompter().error(log.failedPage == 0 ? lookup(QStringLiteral("csvnocount"))
                                                     : lookup(QStringLiteral("csvfail")) + QLatin1Char(' ') +
                                                           QString::number(log.failedPage));
        return kExitLink;
    }
    if (csv) {
        reports::AlarmCsvExport exporter(history, session.prompter(), lookup);
        session.out() += reports::AlarmCsv(exporter.header(), log.rows);
        return kExitOk;
    }
    QString text;
    QTextStream stream(&text);
    stream << lookup(QStringLiteral("dl30")) << '\t' << lookup(QStringLiteral("dl32")) << '\t'
           << lookup(QStringLiteral("csvcode")) << '\t' << lookup(QStringLiteral("dl31")) << '\n';
    for (const reports::AlarmRow& row : log.rows)
        stream << row.number << '\t' << row.record.time << '\t' << row.record.code << '\t' << row.record.text
               << '\n';
    stream.flush();
    session.out() += text.toUtf8();
    return kExitOk;
}

QStringList CommandNames() {
    QStringList names;
    for (const NamedCommand& c : kCommands) names << QLatin1String(c.name);
    return names;
}

int Command(Session& session, const QString& name) {
    const operations::OperatingCommand* command = nullptr;
    for (const NamedCommand& c : kCommands)
        if (name == QLatin1String(c.name))
            command = operations::FindOperatingCommand(QLatin1String(c.button));
    if (!command) return kExitUsage;
    // The window asks before every command because a click can slip; a typed command cannot, so
    // only the factory settings, which wipe the controller's configuration, are asked again.
    session.prompter().setAssumeYes(session.settings().yes || name != QLatin1String("factory"));
    Operations ops(session);
    if (!session.probe()) {
        session.prompter().error(session.message("dl4"));
        return kExitLink;
    }
    operations::OperatingCommands(ops.services).SendOperatingCommand(*command);
    if (ops.sent) return kExitOk;
    if (ops.declined) {
        session.prompter().error(
            session.text("ctlnoconfirm", "Not confirmed (give --yes). Nothing was sent."));
        return kExitDiffers;
    }
    session.prompter().error(session.text("ctlnotsent", "%1 could not be sent.", {name}));
    return kExitLink;
}

QStringList CalibrationChannelNames() {
    QStringList names;
    for (const NamedChannel& c : kChannels) names << QLatin1String(c.name);
    return names;
}

int FindCalibrationButton(const QString& name, const std::function<QString(int)>& caption) {
    const QString wanted = name.trimmed().toLower();
    for (const NamedChannel& c : kChannels) {
        const QString n = QString::number(c.button);
        if (wanted == QLatin1String(c.name) || wanted == n || wanted == QStringLiteral("btn") + n ||
            wanted == QLatin1String(operations::FindCalibrationChannel(c.button)->panel))
            return c.button;
        if (caption && caption(c.button).trimmed().toLower() == wanted) return c.button;
    }
    return 0;
}

int Calibrate(Session& session, const QString& channelName, const QString& value) {
    Operations ops(session);
    const int button = FindCalibrationButton(channelName, [&ops](int b) {
        return operations::ChannelName(ops.services, *operations::FindCalibrationChannel(b));
    });
    if (button == 0) return kExitUsage;
    const operations::CalibrationChannel& channel = *operations::FindCalibrationChannel(button);
    if (!session.probe()) {
        session.prompter().error(session.message("dl4"));
        return kExitLink;
    }
    session.prompter().setInput(value);
    const int errors = session.prompter().errors();
    operations::ChannelCalibration(ops.services).CalibrateChannel(channel);
    const QString noAnswer = session.messages()
                                 .text(QLatin1String(operations::kNoAnswerKey))
                                 .arg(operations::ChannelName(ops.services, channel));
    const bool failed = session.prompter().errors() != errors;
    if (failed && session.prompter().shown().constLast() == noAnswer) return kExitLink;
    // Refused (not a number, negative, beyond the field), or sent with no echo to confirm it.
    if (failed) return kExitDiffers;
    if (!ops.sent) {
        session.prompter().error(session.text("ctlnegative", "%1: a negative value is not sent.", {value}));
        return kExitDiffers;
    }
    return kExitOk;
}

}  // namespace tarsyn::cli
