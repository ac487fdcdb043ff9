#include "cli/Session.h"

#include "cli/Options.h"
#include "link/LinkError.h"
#include "monitor/LiveReading.h"
#include "monitor/PortProblem.h"

namespace tarsyn::cli {

namespace {
constexpr int kLiveWaitMs = 1000;  // the poll cycle reads the reply one tick after its request
constexpr int kSettleMs = 600;     // the controller's line settles after the port opens
}  // namespace

Session::Session(const SessionSettings& settings, const QString& port, Terminal& terminal)
    : m_settings(settings),
      m_portName(port.trimmed()),
      m_dataConfig(settings.dataDir, settings.codePage),
      m_messages(m_dataConfig, m_liveSettings),
      m_prompter(terminal, m_portName) {
    m_liveSettings.setLanguage(settings.language);
    m_port.setPortName(m_portName);
    m_port.setLineSettings(link::LineSettings::controllerDefault());
    m_link.setSlowLine(settings.timeoutMs, settings.retries);
    m_prompter.setSilent(settings.quiet);
}

namespace {
QString fill(QString text, const QStringList& args) {
    for (int i = 0; i < args.size(); ++i)
        text.replace(QStringLiteral("%") + QString::number(i + 1), args.at(i));
    return text;
}
}  // namespace

QString Session::message(const char* key, const QStringList& args) const {
    return fill(m_messages.text(QLatin1String(key)), args);
}

QString Session::text(const char* key, const char* english, const QStringList& args) const {
    const QString text = m_messages.text(QLatin1String(key));
    return fill(text == QLatin1String("0") ? QString::fromUtf8(english) : text, args);
}

config::IniSection Session::translations() const {
    return m_dataConfig.readSection(m_settings.language + QStringLiteral(".lag"),
                                    QStringLiteral("Translations"));
}

int Session::open() {
    try {
        m_port.OpenPort();
    } catch (const link::SerialError& e) {
        // Never shared: a line another program holds is refused, as the window program refuses it.
        m_prompter.error(monitor::PortProblemText(m_messages, m_portName, e));
        return kExitLink;
    }
    m_sleeper.sleep(kSettleMs);
    return kExitOk;
}

bool Session::probe() {
    bool linked = false;
    try {
        linked = monitor::BlockTransaction(m_link, monitor::ReplyBlock::Live, monitor::kLiveReplyMinimum,
                                           kLiveWaitMs) == link::ReplyVerdict::Ok;
    } catch (const link::LinkError&) {
        linked = false;
    }
    m_poll.setLinked(linked);
    return linked;
}

void Session::progress(const QString& what, int position, int maximum) {
    if (m_settings.quiet) return;
    terminal().progress(m_portName, what, position, maximum);
}

}  // namespace tarsyn::cli
