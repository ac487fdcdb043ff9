#include "cli/Console.h"

#include <poll.h>
#include <unistd.h>

#include <QTextStream>
#include <cstdio>

namespace tarsyn::cli {

void Terminal::clearProgressLocked() {
    if (!m_progressShown) return;
    std::fputs("\r\033[K", stderr);
    m_progressShown = false;
}

void Terminal::line(const QString& text) {
    QMutexLocker lock(&m_mutex);
    clearProgressLocked();
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void Terminal::out(const QByteArray& data) {
    QMutexLocker lock(&m_mutex);
    clearProgressLocked();
    std::fwrite(data.constData(), 1, size_t(data.size()), stdout);
    std::fflush(stdout);
}

bool Terminal::readLine(const QString& prompt, QString& answer) {
    if (!m_interactive) return false;
    QMutexLocker lock(&m_mutex);
    clearProgressLocked();
    std::fprintf(stderr, "%s", prompt.toLocal8Bit().constData());
    std::fflush(stderr);
    // The answer is waited for in slices, so that SIGINT or SIGTERM ends a question too.
    for (;;) {
        if (const StopRequest* stop = m_stop.load(); stop && stop->signal() != 0) {
            std::fputc('\n', stderr);
            throw Stopped{stop->signal()};
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 50) != 0) break;
    }
    char buffer[512];
    if (!std::fgets(buffer, sizeof buffer, stdin)) return false;
    answer = QString::fromLocal8Bit(buffer).trimmed();
    return true;
}

bool Terminal::ask(const QString& question) {
    QString answer;
    if (!readLine(question + QStringLiteral(" [y/N] "), answer)) return false;
    answer = answer.toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

void Terminal::progress(const QString& port, const QString& what, int position, int maximum) {
    if (!m_showProgress) return;
    QMutexLocker lock(&m_mutex);
    if (position < 0) {
        clearProgressLocked();
        return;
    }
    constexpr qint64 kRedrawMs = 100;
    if (m_progressShown && position != 0 && position != maximum && m_sinceProgress.isValid() &&
        m_sinceProgress.elapsed() < kRedrawMs)
        return;
    m_sinceProgress.start();
    std::fprintf(stderr, "\r\033[K%s: %s %d/%d", port.toLocal8Bit().constData(),
                 what.toLocal8Bit().constData(), position, maximum);
    std::fflush(stderr);
    m_progressShown = true;
}

void ConsolePrompter::show(const QString& given) {
    QString text = given;
    if (!m_iniFile.isEmpty()) text.replace(QLatin1String("system.ini"), m_iniFile);
    m_shown << text;
    m_terminal.line(m_label.isEmpty() ? text : m_label + QStringLiteral(": ") + text);
}

void ConsolePrompter::information(const QString& text) {
    if (m_silent || m_quiet.contains(text)) {
        m_shown << text;
        return;
    }
    show(text);
}

void ConsolePrompter::error(const QString& text) {
    ++m_errors;
    show(text);
}

bool ConsolePrompter::confirm(const QString& text) {
    if (m_assumeYes) return true;
    const QString question = m_label.isEmpty() ? text : m_label + QStringLiteral(": ") + text;
    return m_terminal.ask(question);
}

bool ConsolePrompter::input(const QString& caption, const QString& prompt, QString& text) {
    if (m_input) {
        text = *m_input;
        return true;
    }
    const QString question = (m_label.isEmpty() ? QString() : m_label + QStringLiteral(": ")) + caption +
                             QLatin1Char(' ') + prompt + QLatin1Char(' ');
    if (m_terminal.readLine(question, text)) return true;
    text.clear();
    return false;
}

}  // namespace tarsyn::cli
