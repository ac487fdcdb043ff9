// First cut of the profile-file layer: correct lookups and simple rewrites. To be hardened (atomic
// replacement, line endings kept, batch writes, code page option) with its tests.
#include "app/core/Config.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace tarsyn::app {

Config::Config(const QString& dataDir, const QByteArray& codePage) : m_dataDir(dataDir), m_codePage(codePage) {}

QString Config::filePath(const QString& fileName) const { return QDir(m_dataDir).filePath(fileName); }

QByteArray Config::toAnsi(const QString& text) const {
    QStringEncoder enc(m_codePage.constData());
    if (!enc.isValid()) return text.toLatin1();
    return enc.encode(text);
}

QString Config::fromAnsi(const QByteArray& bytes) const {
    QStringDecoder dec(m_codePage.constData());
    if (!dec.isValid()) return QString::fromLatin1(bytes);
    return dec.decode(bytes);
}

QString Config::reini(const QString& fileName, const QString& section, const QString& key) const {
    QFile f(filePath(fileName));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("0");
    const QStringList lines = fromAnsi(f.readAll()).split(QLatin1Char('\n'));
    bool in = false;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            const int end = t.indexOf(QLatin1Char(']'));
            in = end > 0 && t.mid(1, end - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!in) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) return line.mid(eq + 1).trimmed().left(2047);
    }
    return QStringLiteral("0");
}

void Config::wrini(const QString& fileName, const QString& section, const QString& key, const QString& value) {
    wriniBatch(fileName, {{section, key, value}});
}

void Config::wriniBatch(const QString& fileName, const QList<IniEntry>& entries) {
    const QString path = filePath(fileName);
    QStringList lines;
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) lines = fromAnsi(f.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    }
    for (const IniEntry& e : entries) {
        int sectionAt = -1, sectionEnd = int(lines.size()), keyAt = -1;
        for (int i = 0; i < lines.size(); ++i) {
            const QString t = lines[i].trimmed();
            if (t.startsWith(QLatin1Char('['))) {
                if (sectionAt >= 0) { sectionEnd = i; break; }
                const int end = t.indexOf(QLatin1Char(']'));
                if (end > 0 && t.mid(1, end - 1).trimmed().compare(e.section, Qt::CaseInsensitive) == 0) sectionAt = i;
                continue;
            }
            if (sectionAt < 0) continue;
            const int eq = lines[i].indexOf(QLatin1Char('='));
            if (eq >= 0 && lines[i].left(eq).trimmed().compare(e.key, Qt::CaseInsensitive) == 0) { keyAt = i; break; }
        }
        const QString line = e.key + QLatin1Char('=') + e.value;
        if (keyAt >= 0) lines[keyAt] = line;
        else if (sectionAt >= 0) {
            int at = sectionEnd;
            while (at > sectionAt + 1 && lines[at - 1].trimmed().isEmpty()) --at;
            lines.insert(at, line);
        } else {
            lines << QLatin1Char('[') + e.section + QLatin1Char(']') << line;
        }
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(toAnsi(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'))) < 0 ||
        !out.commit())
        throw ConfigError(QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
}

qint32 ProductHash(const QByteArray& ansiText) {
    qint32 h = 1;
    for (char ch : ansiText) {
        const quint32 c = static_cast<unsigned char>(ch);
        const qint32 p = static_cast<qint32>(static_cast<quint32>(h) * c);
        // p / 10 rounded half to even
        qint64 q = p / 10;
        const qint64 r = p % 10;
        if (r > 5 || (r == 5 && (q & 1))) ++q;
        else if (r < -5 || (r == -5 && (q & 1))) --q;
        h = static_cast<qint32>(q);
    }
    return h;
}

QString CheckValue(const Config& config, const QString& language, const QString& flash, const QString& save2,
                   const QString& save1, const QString& ports, const QString& cjkl, const QString& ptkl) {
    const qint32 h = ProductHash(config.toAnsi(language + flash + save2 + save1 + ports + cjkl + ptkl));
    return QStringLiteral("%1").arg(static_cast<quint32>(h), 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace tarsyn::app
