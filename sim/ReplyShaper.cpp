#include "ReplyShaper.h"

#include <QStringList>

#include "link/Codec.h"

namespace tarsyn::sim {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const QByteArray kDelayRead = "000400360016";
const QByteArray kLiveRead = "000400060030";

}  // namespace

bool FaultOptions::clean() const {
    return !noAnswer && shortLength < 0 && !garbage && noise == 0 && !changedDigit && !otherBlock &&
           !unasked && !lateJoined && !foreignData;
}

QString FaultOptions::describe() const {
    QStringList on;
    if (noAnswer) on << QStringLiteral("silent");
    if (shortLength >= 0) on << QStringLiteral("short %1").arg(shortLength);
    if (garbage) on << QStringLiteral("garbage");
    if (noise > 0) on << QStringLiteral("noise %1").arg(noise);
    if (changedDigit) on << QStringLiteral("digit");
    if (otherBlock) on << QStringLiteral("other");
    if (unasked) on << QStringLiteral("unasked");
    if (lateJoined) on << QStringLiteral("late");
    if (foreignData) on << QStringLiteral("foreign");
    return on.isEmpty() ? QStringLiteral("clean") : on.join(QStringLiteral(", "));
}

quint32 ReplyShaper::next() {
    // xorshift32: enough for noise, and the same sequence for the same seed.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

void ReplyShaper::setFaults(const FaultOptions& faults) {
    m_faults = faults;
    if (!m_faults.lateJoined) {
        m_held.clear();
        m_holding = false;
    }
}

QByteArray ReplyShaper::unaskedFrame() {
    const QString body = QStringLiteral("00040101");
    return (body + link::ToHex(quint32(link::XorCheck(body)), 2) + QStringLiteral("\r\n")).toLatin1();
}

QByteArray ReplyShaper::redirect(const QByteArray& line) const {
    // A block read is "0004" address count and its check: 14 characters.
    if (!m_faults.otherBlock || line.size() != 14 || !line.startsWith("0004")) return line;
    const QByteArray other = line.mid(8, 4) == "0016" ? kLiveRead : kDelayRead;
    return link::BuildFrame(QString::fromLatin1(other)).toLatin1().chopped(2);
}

QByteArray ReplyShaper::shape(const QByteArray& reply) {
    if (m_faults.noAnswer) return {};
    QByteArray out = reply;
    if (m_faults.foreignData && out.startsWith("0004") && out.size() >= 10) {
        // "0004", the count, the data, the check, CR LF: the data replaced, the frame kept whole.
        const int count = out.mid(4, 2).toInt(nullptr, 16);
        if (out.size() == 2 * count + 10) {
            QString body = QString::fromLatin1(out.left(6));
            for (int i = 0; i < count; ++i) body += link::ToHex(quint32((0x90 + i) & 0xFF), 2);
            out = link::BuildFrame(body).toLatin1();
        }
    }
    if (m_faults.shortLength >= 0) out = out.left(m_faults.shortLength);
    if (m_faults.changedDigit) {
        // Any character before the line end: header, data or check.
        const int digits = out.endsWith("\r\n") ? out.size() - 2 : out.size();
        if (digits > 0) {
            const int at = int(next() % quint32(digits));
            char changed;
            do changed = kHexDigits[next() % 16];
            while (changed == out.at(at));
            out[at] = changed;
        }
    }
    if (m_faults.noise > 0) {
        QByteArray noise;
        for (int i = 0; i < m_faults.noise; ++i) noise += kHexDigits[next() % 16];
        out.prepend(noise);
    }
    if (m_faults.garbage) {
        static const char kNoise[] = "#*?~@!%&ZQxyz";
        const int n = 1 + int(next() % 4);
        QByteArray noise;
        for (int i = 0; i < n; ++i) noise += kNoise[next() % (sizeof(kNoise) - 1)];
        out.prepend(noise);
    }
    if (m_faults.unasked) out.prepend(unaskedFrame());
    if (m_faults.lateJoined) {
        m_holding = !m_holding;
        if (m_holding) {
            m_held = out;
            return {};
        }
        out.prepend(m_held);
        m_held.clear();
    }
    return out;
}

bool FaultCommand(const QString& line, FaultOptions& faults, QString* reply) {
    const QStringList words = line.simplified().toLower().split(QLatin1Char(' '));
    if (words.value(0) != QLatin1String("line")) return false;
    auto say = [&](const QString& text) {
        if (reply) *reply = text;
        return true;
    };
    const QString what = words.value(1);
    const QString arg = words.value(2);
    if (what == QLatin1String("clean") && words.size() == 2) {
        faults = FaultOptions{};
    } else if ((what == QLatin1String("noise") || what == QLatin1String("short")) && words.size() == 3) {
        bool ok = false;
        const int n = arg.toInt(&ok);
        const bool off = what == QLatin1String("short") && arg == QLatin1String("off");
        if (!off && (!ok || n < 0 || n > 1000))
            return say(
                QStringLiteral("line %1 needs a number of characters 0-1000, not '%2'").arg(what, arg));
        if (what == QLatin1String("noise"))
            faults.noise = n;
        else
            faults.shortLength = off ? -1 : n;
    } else if (words.size() == 3 && (arg == QLatin1String("on") || arg == QLatin1String("off"))) {
        const bool on = arg == QLatin1String("on");
        if (what == QLatin1String("garbage"))
            faults.garbage = on;
        else if (what == QLatin1String("digit"))
            faults.changedDigit = on;
        else if (what == QLatin1String("other"))
            faults.otherBlock = on;
        else if (what == QLatin1String("unasked"))
            faults.unasked = on;
        else if (what == QLatin1String("late"))
            faults.lateJoined = on;
        else if (what == QLatin1String("silent"))
            faults.noAnswer = on;
        else if (what == QLatin1String("foreign"))
            faults.foreignData = on;
        else
            return say(QStringLiteral("unknown line fault '%1'").arg(what));
    } else {
        return say(QStringLiteral(
            "line needs: clean, noise N, short N|off, or garbage|digit|other|unasked|late|silent|foreign "
            "on|off"));
    }
    return say(QStringLiteral("line faults: %1").arg(faults.describe()));
}

}  // namespace tarsyn::sim
