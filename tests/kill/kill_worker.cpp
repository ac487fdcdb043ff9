// Does one kind of durable work in a loop and prints, after each piece is done (the save renamed
// into place, the events committed), its number on a line of its own. The kill tests end it with
// SIGKILL at varying points and check that what it reported survived whole.
//
// Usage: kill_worker settings <data folder> <first>
//          saves section Set through the settings window's logic: save n stores refresh time n and
//          1 + n % 3 port rows "/dev/ttyS<n>-<row>", remark "R<n>-<row>", notes "N<n>".
//        kill_worker journal <kalde.db> <first> <events per storm>
//          journals storms of events (detail "<storm>:<event>") and reports each storm once flushed.
#include <QCoreApplication>
#include <cstdio>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "app/core/SettingsLogic.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/JournalStore.h"

using namespace tarsyn;

namespace {

void report(int n) {
    std::printf("%d\n", n);
    std::fflush(stdout);
}

int saveSettings(const QString& dir, int first) {
    config::Config config(dir);
    config::LiveSettings settings;
    const config::Messages messages(config, settings);
    test::ScriptedPrompter prompter;
    prompter.defaultAnswer = true;  // "save and close?" Yes
    app::SettingsLogic logic(config, settings, messages, prompter);
    settings.setLanguage(QStringLiteral("English"));
    for (int n = first;; ++n) {
        // The window's edits go to the draft; a save makes it the settings in effect.
        logic.beginEdit();
        config::LiveSettings& draft = logic.draft();
        draft.setRefreshText(QString::number(n));
        draft.setHourIntervalText(QStringLiteral("60"));
        draft.setDayIntervalText(QStringLiteral("1"));
        QVector<config::PortEntry> rows;
        for (int r = 0; r < 1 + n % 3; ++r)
            rows.append({QStringLiteral("/dev/ttyS%1-%2").arg(n).arg(r),
                         QStringLiteral("R%1-%2").arg(n).arg(r), QStringLiteral("N%1").arg(n)});
        draft.setPorts(rows);
        if (logic.close(QString(), QString()) != app::SettingsLogic::CloseResult::Saved) {
            std::fprintf(stderr, "save %d refused: %s\n", n, qPrintable(prompter.shown.join(" | ")));
            return 1;
        }
        report(n);
    }
}

int journalStorms(const QString& file, int first, int perStorm) {
    test::FakeClock clock;
    bool failed = false;
    history::JournalStore journal(history::HistoryLocation::sqliteFile(file), clock, [&](const QString& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e));
        failed = true;
    });
    if (!journal.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(journal.lastError()));
        return 1;
    }
    for (int storm = first;; ++storm) {
        for (int e = 0; e < perStorm; ++e) {
            clock.advanceMs(10);
            journal.record(history::JournalKind::AlarmRaised, QStringLiteral("w"),
                           QStringLiteral("%1:%2").arg(storm).arg(e));
        }
        journal.flush();
        if (failed) return 1;
        report(storm);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("settings"))
        return saveSettings(args.at(2), args.at(3).toInt());
    if (args.size() == 5 && args.at(1) == QLatin1String("journal"))
        return journalStorms(args.at(2), args.at(3).toInt(), args.at(4).toInt());
    std::fprintf(stderr,
                 "usage: kill_worker settings <folder> <first> | journal <kalde.db> <first> <per storm>\n");
    return 2;
}
