#pragma once

#include <QFile>
#include <QTemporaryDir>

#include "FakePollControl.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

namespace tarsyn::test {

/// The program around a feature's engine or window, as the feature's services take it: a data folder
/// with its config, the live settings and the catalogue's messages, the poll control the feature
/// pauses around its exchanges, and scripted boxes. The line (port, sleeper, link) is the test's own:
/// a FakeSerialPort, or the virtual controller's (SimPort).
///
///     struct Fixture : test::ProgramRig { ... pages::PageServices{link, poll, config, messages, prompter}
///     ... };
struct ProgramRig {
    /// Copies the shipped catalogue data/<shipped>.lag into the data folder as <language>.lag and
    /// puts `language` in force, so that what the feature says reads as the operator sees it.
    bool useShippedCatalogue(const QString& language = QStringLiteral("English"),
                             const QString& shipped = QStringLiteral("English")) {
        settings.setLanguage(language);
        const QString from =
            qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/%1.lag").arg(shipped);
        return QFile::copy(from, dir.filePath(QStringLiteral("%1.lag").arg(language)));
    }

    QTemporaryDir dir;
    config::Config config{dir.path()};
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    FakePollControl poll;
    ScriptedPrompter prompter;
};

}  // namespace tarsyn::test
