#pragma once

#include <QRegularExpression>
#include <QSet>
#include <memory>

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "FakeClock.h"
#include "FakePageView.h"
#include "FakeSerialPort.h"
#include "ProgramRig.h"
#include "RequestHandler.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "pages/PageEngine.h"
#include "pages/PageTable.h"

namespace tarsyn::test {

/// The virtual controller in-process, factory-fresh: its request handler serves what the page
/// sends. `silent` keeps every answer off the line; a word write to an address in `lost` never
/// reaches it (a frame lost on the line).
struct InProcessController {
    InProcessController() { memory.loadFactoryImage(); }
    /// The controller's answer to one frame (with its CR LF), or a null text.
    QString serve(const QString& frame) {
        QByteArray line = frame.toLatin1();
        line.chop(2);
        if (line.mid(2, 2) == "07" && lost.contains(int(line.mid(4, 4).toInt(nullptr, 16)))) return {};
        const sim::Reply r = handler.handle(line);
        return r.answered && !silent ? QString::fromLatin1(r.text) : QString();
    }

    FakeClock clock;
    sim::ControllerMemory memory;
    sim::EngineModel engine{memory, clock, 1};
    sim::RequestHandler handler{memory, engine};
    bool silent = false;
    QSet<int> lost;
};

/// One page on a fake port: the controller answers every block read with `reply` (when set), or is
/// the in-process virtual controller after `useController`; a data folder holds system.ini and a
/// small catalogue of `language` whose messages name themselves.
class PageFixture : public ProgramRig {
public:
    explicit PageFixture(const pages::Page& page, const QString& language = QStringLiteral("Test"))
        : view(page) {
        config.wriniBatch(language + QStringLiteral(".lag"),
                          {{"Messages", page.titleKey, page.window},
                           {"Messages", "pgfileloaded", "pgfileloaded"},
                           {"Messages", "pgfilesaved", "pgfilesaved"},
                           {"Messages", "pgread", "pgread"},
                           {"Messages", "pgverified", "pgverified"},
                           {"Messages", "pgnoanswer", "pgnoanswer"},
                           {"Messages", "pgdiffers", "pgdiffers: %1"},
                           {"Messages", "pgdiffitem", "%1 holds %2, sent %3"},
                           {"Messages", "pgreadfirst", "%1: read first: %2"},
                           {"Messages", "pgnosaved", "%1: nothing saved"},
                           {"Messages", "pgpartsaved", "%1: missing %2"},
                           {"Messages", "pglimits", "%1 %2 below %3 %4"},
                           {"Messages", "pgpart", "%1/%2"},
                           {"Messages", "pgfields", "%1..%2"},
                           {"Messages", "pgbadreply", "%1: %2: %3"},
                           {"Messages", "pgreadnone", "%1: no answer"},
                           {"Messages", "pgreadgarbled", "%1: garbled"},
                           {"Messages", "pgtitle", "%1 @ %2"},
                           {"Messages", "pgrange", "%1: %2-%3"},
                           {"Messages", "pgphone", "%1: digits"},
                           {"Messages", "pgname", "%1: code page"},
                           {"Messages", "pgnamebytes", "%1: %2 bytes, not %3"},
                           {"Messages", "pgnameunits", "%1: %2 units, not %3"}});
        settings.setLanguage(language);
        port.OpenPort();
        port.onWrite = [this](const QString& frame) {
            if (controller) {
                const QString answer = controller->serve(frame);
                if (!answer.isNull()) port.arrive(answer);
            } else if (frame.startsWith(QLatin1String("0004")) && !reply.isNull()) {
                port.arrive(reply);
            }
        };
        view.onEdit = [this](const QString& control) { engine->edited(control); };
        pages::PageServices services{link, poll, config, messages, prompter};
        services.written = [this](const QString& detail, const QString& data) {
            written << detail;
            writtenData << data;
        };
        services.controller = [this] { return controllerName; };
        engine = std::make_unique<pages::PageEngine>(page, view, services);
    }

    /// The virtual controller answers from now on.
    InProcessController& useController() {
        controller = std::make_unique<InProcessController>();
        return *controller;
    }

    /// Frames written by the page, without CR LF.
    QStringList frames() const {
        QStringList out;
        for (QString f : port.written) out << f.remove(QStringLiteral("\r\n"));
        return out;
    }

    FakeSerialPort port;
    FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    FakePageView view;
    QString reply;            ///< what the controller answers a block read with; null: nothing
    QStringList written;      ///< what the page told the event journal after each write
    QStringList writtenData;  ///< ... and the same as values (compact JSON)
    QString controllerName;   ///< what the page's title names
    std::unique_ptr<InProcessController> controller;
    std::unique_ptr<pages::PageEngine> engine;
};

/// A page by its window's name ("TForm6").
inline const pages::Page& pageNamed(const QString& window) {
    for (const pages::Page* p : {&pages::delayPage(), &pages::curvePage(), &pages::systemPage(),
                                 &pages::controlBitsPage(), &pages::alarmLimitsPage(), &pages::smsPage()})
        if (p->window == window) return *p;
    qFatal("no page %s", qPrintable(window));
}

/// The operator types "control=text" into an edit field or clicks "radio".
inline void apply(FakePageView& view, const QStringList& inputs) {
    for (const QString& in : inputs) {
        const int eq = int(in.indexOf(QLatin1Char('=')));
        if (eq < 0)
            view.click(in);
        else
            view.type(in.left(eq), in.mid(eq + 1));
    }
}

/// A block-read reply of `data`, its check and line end as the controller sends them; data that is not
/// hexadecimal (a corrupted reply) gets the check 00.
inline QString blockReply(const QString& data) {
    const QString body = QStringLiteral("0004") +
                         QStringLiteral("%1").arg(data.size() / 2, 2, 16, QLatin1Char('0')).toUpper() + data;
    static const QRegularExpression kHex(QStringLiteral("^[0-9A-F]*$"));
    return kHex.match(body).hasMatch() && body.size() % 2 == 0 ? link::BuildFrame(body)
                                                               : body + QStringLiteral("00\r\n");
}

}  // namespace tarsyn::test
