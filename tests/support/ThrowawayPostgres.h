#pragma once
// A PostgreSQL server of a suite's own, which the suite can stop, freeze (SIGSTOP) and start again,
// and a loopback port that takes connections and never answers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarsyn::test {

/// A bash that sourced scripts/pg-throwaway and obeys "stop" and "start" on its standard input; the
/// server goes with it when its input closes.
class ThrowawayServer {
public:
    bool start() {
        const QString script = QStringLiteral(
            "source \"$TARSYN_SOURCE_DIR/scripts/pg-throwaway\" || exit 1\n"
            "[ -n \"${TARSYN_TEST_PG_URL:-}\" ] || { echo NONE; exit 0; }\n"
            "echo \"PORT=$_pgt_port USER=$_pgt_user\"\n"
            "while read -r cmd; do\n"
            "  if [ \"$cmd\" = freeze ] || [ \"$cmd\" = thaw ]; then\n"
            "    sig=STOP; [ \"$cmd\" = thaw ] && sig=CONT\n"
            "    pid=$(head -n 1 \"$_pgt_dir/data/postmaster.pid\")\n"
            "    kill -$sig $pid $(ps -o pid= --ppid $pid)\n"
            "  elif [ \"$cmd\" = stop ]; then\n"
            "    \"${_pgt_as[@]}\" \"$_pgt_bin/pg_ctl\" -D \"$_pgt_dir/data\" -m immediate -w stop "
            ">/dev/null 2>&1\n"
            "  else\n"
            "    \"${_pgt_as[@]}\" \"$_pgt_bin/pg_ctl\" -D \"$_pgt_dir/data\" -l \"$_pgt_dir/server.log\" -w "
            "-t 30 \\\n"
            "      -o \"-h 127.0.0.1 -p $_pgt_port -k $_pgt_dir\" start >/dev/null 2>&1\n"
            "  fi\n"
            "  echo \"done $?\"\n"
            "done\n");
        m_bash.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
        const QString line = readLine(120000);
        if (line == QLatin1String("NONE") || line.isEmpty()) return false;
        const QStringList parts = line.split(QLatin1Char(' '));
        m_port = parts.value(0).mid(5).toInt();
        m_user = parts.value(1).mid(5);
        return m_port > 0;
    }
    ~ThrowawayServer() {
        m_bash.closeWriteChannel();
        m_bash.waitForFinished(60000);
    }
    bool command(const char* what) {
        m_bash.write(QByteArray(what) + '\n');
        return readLine(60000) == QLatin1String("done 0");
    }
    /// Over TCP on the loopback, so that a silent listener can stand in for a hung server.
    QString url() const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/tarsyn_test").arg(m_user).arg(m_port);
    }
    quint16 port() const { return quint16(m_port); }

private:
    QString readLine(int ms) {
        QElapsedTimer t;
        t.start();
        while (!m_bash.canReadLine() && m_bash.state() != QProcess::NotRunning && t.elapsed() < ms)
            m_bash.waitForReadyRead(1000);
        return QString::fromUtf8(m_bash.readLine()).trimmed();
    }
    QProcess m_bash;
    int m_port = 0;
    QString m_user;
};

/// A loopback port that takes connections and never answers (no accept, no byte).
class SilentListener {
public:
    bool listen(quint16 port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
               ::listen(m_fd, 16) == 0;
    }
    void close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    ~SilentListener() { close(); }

private:
    int m_fd = -1;
};

}  // namespace tarsyn::test
