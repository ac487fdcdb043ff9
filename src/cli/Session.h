#pragma once

#include <QByteArray>
#include <QString>

#include "cli/Console.h"
#include "cli/Stop.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "link/Clock.h"
#include "link/ControllerLink.h"
#include "link/QtSerialPort.h"
#include "monitor/PollControl.h"

namespace tarsyn::cli {

/// What every port's session shares: where the data folder is, its code page, the catalogue
/// language, and whether confirmations are given on the command line.
struct SessionSettings {
    QString dataDir;
    QByteArray codePage = QByteArrayLiteral("GBK");
    QString language = QStringLiteral("English");
    bool yes = false;
    const StopRequest* stop = nullptr;  ///< SIGINT or SIGTERM taken: every wait of the line ends its job
    int timeoutMs = 0;                  ///< --timeout: the least wait for any reply (0: the program's waits)
    int retries = 0;     ///< --retries: a read without a usable reply is sent again this many times
    bool quiet = false;  ///< --quiet: errors and data only, no information and no progress
};

/// The poll cycle's place for a tool that does not poll: no rotation, no timer to stop, and "linked"
/// once a live-block read has been answered.
class HeadlessPoll : public monitor::PollControl {
public:
    bool RotationMode() const override { return false; }
    bool linked() const override { return m_linked; }
    void stopPolling() override {}
    void resumePolling() override {}
    void setPollState(int) override {}
    void setLinked(bool linked) { m_linked = linked; }

private:
    bool m_linked = false;
};

/// One controller on one line, on the thread that made it: its own port (opened exclusively), link
/// with the program's real waits, catalogue and console. Standard output collects in out().
class Session {
public:
    Session(const SessionSettings& settings, const QString& port, Terminal& terminal);

    /// Opens the port; kExitLink with the program's status-strip text when it will not open (busy,
    /// missing, not permitted).
    int open();
    /// One read of the live block, as the poll cycle makes it: the controller counts as linked when
    /// it answered in full. The commands' gate asks for it.
    bool probe();

    const SessionSettings& settings() const { return m_settings; }
    QString portName() const { return m_portName; }
    config::Config& dataConfig() { return m_dataConfig; }
    const config::Messages& messages() const { return m_messages; }
    /// A message of the catalogue with %1, %2… filled.
    QString message(const char* key, const QStringList& args = {}) const;
    /// The tool's own message `key` with %1, %2… filled; `english` where the catalogue has none.
    QString text(const char* key, const char* english, const QStringList& args = {}) const;
    /// The catalogue's "Translations" (captions of the windows' controls).
    config::IniSection translations() const;
    ConsolePrompter& prompter() { return m_prompter; }
    Terminal& terminal() { return m_prompter.terminal(); }
    link::ControllerLink& link() { return m_link; }
    HeadlessPoll& poll() { return m_poll; }
    /// Progress of a long exchange on standard error (when it is a terminal); position < 0 ends it.
    void progress(const QString& what, int position, int maximum);
    QByteArray& out() { return m_out; }

private:
    SessionSettings m_settings;
    QString m_portName;
    config::Config m_dataConfig;
    config::LiveSettings m_liveSettings;
    config::Messages m_messages;
    ConsolePrompter m_prompter;
    link::QtSerialPort m_port;
    StopSleeper m_sleeper{m_settings.stop};
    link::ControllerLink m_link{m_port, m_sleeper};
    HeadlessPoll m_poll;
    QByteArray m_out;
};

}  // namespace tarsyn::cli
