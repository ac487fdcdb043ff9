#pragma once

#include <QTemporaryDir>
#include <memory>

#include "FakeClock.h"
#include "FakePageView.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "ScriptedPrompter.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "pages/PageEngine.h"

namespace tarsyn::test {

/// One page on a fake port: the controller answers every block read with `reply` (when set), a data
/// folder holds system.ini and a small catalogue of `language` whose messages name themselves.
class PageFixture {
public:
    explicit PageFixture(const pages::Page& page, const QString& language = QStringLiteral("Test"))
        : config(dir.path()), view(page) {
        config.wriniBatch(language + QStringLiteral(".lag"), {{"Messages", "dl18", "dl18"},
                                                              {"Messages", "dl19", "dl19"},
                                                              {"Messages", "pgrange", "%1: %2-%3"},
                                                              {"Messages", "pgphone", "%1: digits"},
                                                              {"Messages", "pgname", "%1: code page"}});
        settings.setLanguage(language);
        port.OpenPort();
        port.onWrite = [this](const QString& frame) {
            if (frame.startsWith(QLatin1String("0004")) && !reply.isNull()) port.arrive(reply);
        };
        pages::PageServices services{link, poll, config, messages, prompter};
        services.written = [this](const QString& detail) { written << detail; };
        engine = std::make_unique<pages::PageEngine>(page, view, services);
    }

    /// Frames written by the page, without CR LF.
    QStringList frames() const {
        QStringList out;
        for (QString f : port.written) out << f.remove(QStringLiteral("\r\n"));
        return out;
    }

    QTemporaryDir dir;
    config::Config config;
    config::LiveSettings settings;
    config::Messages messages{config, settings};
    FakeSerialPort port;
    FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    FakePollControl poll;
    ScriptedPrompter prompter;
    FakePageView view;
    QString reply;        ///< what the controller answers a block read with; null: nothing
    QStringList written;  ///< what the page told the event journal after each write
    std::unique_ptr<pages::PageEngine> engine;
};

/// A block-read reply of `data` (hexadecimal digits), its check and line end as the controller sends
/// them.
inline QString blockReply(const QString& data) {
    return link::BuildFrame(QStringLiteral("0004") +
                            QStringLiteral("%1").arg(data.size() / 2, 2, 16, QLatin1Char('0')).toUpper() +
                            data);
}

}  // namespace tarsyn::test
