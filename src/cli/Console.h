#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <optional>

#include "cli/Stop.h"
#include "config/Prompter.h"

namespace tarsyn::cli {

/// Standard error and the operator's terminal, shared by the threads of every port: one line at a
/// time, questions one after another, progress only where someone watches (standard error is a
/// terminal).
class Terminal {
public:
    Terminal(bool interactive, bool showProgress)
        : m_interactive(interactive), m_showProgress(showProgress) {}

    /// Both standard input and standard error are terminals: questions can be asked.
    bool interactive() const { return m_interactive; }
    bool showsProgress() const { return m_showProgress; }
    /// While set, a question waiting for its answer ends (Stopped) once a stop is requested.
    void setStop(const StopRequest* stop) { m_stop.store(stop); }

    /// One line on standard error.
    void line(const QString& text);
    /// Data on standard output at once (a watch's polls as they come), whole, never mixed with another
    /// port's.
    void out(const QByteArray& data);
    /// Asks `question` and reads y/yes from standard input; false without a terminal.
    bool ask(const QString& question);
    /// Reads one line after `prompt`; false without a terminal or at end of input.
    bool readLine(const QString& prompt, QString& answer);
    /// "port: what 12/48" on one refreshed line; `position` < 0 clears it.
    void progress(const QString& port, const QString& what, int position, int maximum);

private:
    void clearProgressLocked();

    QMutex m_mutex;
    std::atomic<const StopRequest*> m_stop{nullptr};
    bool m_interactive;
    bool m_showProgress;
    bool m_progressShown = false;
    QElapsedTimer m_sinceProgress;  // a read moves its bar every millisecond: the line is redrawn less
};

/// The boxes of the program's engines on a console: messages go to standard error, labelled with the
/// port; a confirmation is answered by --yes, by the terminal, or else "no"; an input box takes the
/// value given on the command line.
class ConsolePrompter : public config::Prompter {
public:
    ConsolePrompter(Terminal& terminal, QString label) : m_terminal(terminal), m_label(std::move(label)) {}

    void information(const QString& text) override;
    bool confirm(const QString& text) override;
    bool input(const QString& caption, const QString& prompt, QString& text) override;
    void error(const QString& text) override;

    /// Every confirmation counts as Yes (--yes, or a command line that is itself the request).
    void setAssumeYes(bool yes) { m_assumeYes = yes; }
    /// The text the next input boxes take.
    void setInput(const QString& text) { m_input = text; }
    /// Texts of success messages left unprinted (the engines' "read", "saved", "loaded").
    void setQuiet(const QStringList& texts) { m_quiet = texts; }
    /// --quiet: no information at all, only errors and questions.
    void setSilent(bool silent) { m_silent = silent; }
    /// The engines name the file they load as "system.ini": a tool that gave them another file under
    /// that name shows `file` instead.
    void setIniFile(const QString& file) { m_iniFile = file; }

    int errors() const { return m_errors; }
    /// Every text shown so far, information and errors alike, in order.
    const QStringList& shown() const { return m_shown; }
    const QString& label() const { return m_label; }
    Terminal& terminal() { return m_terminal; }

private:
    void show(const QString& text);

    Terminal& m_terminal;
    QString m_label;
    bool m_assumeYes = false;
    bool m_silent = false;
    QString m_iniFile;
    std::optional<QString> m_input;
    QStringList m_quiet;
    QStringList m_shown;
    int m_errors = 0;
};

}  // namespace tarsyn::cli
