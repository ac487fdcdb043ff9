#include "config/Config.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <mutex>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#else
#include <QSaveFile>
#endif

namespace tarsyn::config {

namespace {

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

// One physical line of a file, kept as raw bytes so that a rewrite leaves every line it does not
// change exactly as it was, even bytes the code page cannot decode.
struct RawLine {
    QByteArray bytes;  // without its line ending
    QByteArray eol;    // "\r\n", "\n" or empty for a last line without one
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QString name;   // section or key name, trimmed
    QString value;  // key value, trimmed
};

// Windows profile files treat a line as a section header when it starts with "[" (after blanks)
// and as a key when it has an "="; a ";" line is a comment and never names a key.
ParsedLine parseLine(const QString& text) {
    ParsedLine p;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const int end = t.indexOf(QLatin1Char(']'));
        if (end > 0) {
            p.kind = LineKind::Section;
            p.name = t.mid(1, end - 1).trimmed();
        }
        return p;
    }
    if (t.startsWith(QLatin1Char(';'))) return p;
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq < 0) return p;
    p.kind = LineKind::Key;
    p.name = text.left(eq).trimmed();
    p.value = text.mid(eq + 1).trimmed();
    return p;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b.trimmed(), Qt::CaseInsensitive) == 0; }

// A value read as Windows profile reads give it: one pair of matching quotes around the (trimmed)
// value is removed, single or double, so language="Chinese" names the catalogue Chinese. Quotes that
// do not pair up ("abc', a lone ") stay, and so do quotes inside the value.
QString unquoted(const QString& value) {
    if (value.size() < 2) return value;
    const QChar first = value.front();
    if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
        return value.mid(1, value.size() - 2);
    return value;
}

QString cutValue(const QString& value) {
    if (value.size() <= Config::kMaxValueLength) return value;
    int n = Config::kMaxValueLength;
    if (value.at(n - 1).isHighSurrogate()) --n;  // never leave half of a character behind
    return value.left(n);
}

struct FileImage {
    QByteArray bom;
    QList<RawLine> lines;
};

FileImage splitLines(const QByteArray& data) {
    FileImage image;
    QByteArray body = data;
    if (body.startsWith(kUtf8Bom)) {
        image.bom = kUtf8Bom;
        body.remove(0, kUtf8Bom.size());
    }
    qsizetype start = 0;
    while (start < body.size()) {
        const qsizetype nl = body.indexOf('\n', start);
        RawLine line;
        if (nl < 0) {
            line.bytes = body.mid(start);
            start = body.size();
        } else {
            qsizetype end = nl;
            if (end > start && body.at(end - 1) == '\r') --end;
            line.bytes = body.mid(start, end - start);
            line.eol = body.mid(end, nl + 1 - end);
            start = nl + 1;
        }
        image.lines.append(line);
    }
    return image;
}

bool plainFileName(const QString& fileName) {
    return !fileName.isEmpty() && !fileName.contains(QLatin1Char('/')) &&
           !fileName.contains(QLatin1Char('\\')) && fileName != QLatin1String(".") &&
           fileName != QLatin1String("..");
}

// Reads the whole file; false when it exists but cannot be read (a rewrite must then not start from
// an empty image, or every other key would be lost).
bool readWhole(const QString& path, QByteArray& data) {
    data.clear();
    const QFileInfo info(path);
    if (!info.exists()) return !info.isSymLink();  // a dangling link is not a file we may replace
    if (info.isDir()) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    data = f.readAll();
    return f.error() == QFile::NoError;
}

#ifdef Q_OS_UNIX
bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Temporary file in the target's folder, synced, renamed over the target, folder synced.
bool replaceAtomically(const QString& target, const QByteArray& data) {
    const QFileInfo info(target);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    int fd = -1;
    QByteArray tmp;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = dir + '/' + '.' + QFile::encodeName(info.fileName()) + ".tmp" +
              QByteArray::number(QRandomGenerator::global()->generate(), 16);
        fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    struct stat old {};
    if (::stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd, old.st_mode & 07777);  // the new copy keeps the old file's permissions
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        ::unlink(tmp.constData());
        return false;
    }
    // The rename is done; syncing the folder makes it survive a power cut. Its failure cannot undo
    // the replacement, so it is not reported as a failed write.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}
#else
bool replaceAtomically(const QString& target, const QByteArray& data) {
    QSaveFile out(target);
    return out.open(QIODevice::WriteOnly) && out.write(data) == data.size() && out.commit();
}
#endif

QString checkName(const QString& what, const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("empty %1 name").arg(what);
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return QStringLiteral("%1 name \"%2\" holds a line break").arg(what, name.simplified());
    if (what == QLatin1String("section") && name.contains(QLatin1Char(']')))
        return QStringLiteral("section name \"%1\" holds \"]\"").arg(name);
    if (what == QLatin1String("key")) {
        if (name.contains(QLatin1Char('='))) return QStringLiteral("key name \"%1\" holds \"=\"").arg(name);
        const QString t = name.trimmed();
        if (t.startsWith(QLatin1Char('[')) || t.startsWith(QLatin1Char(';')))
            return QStringLiteral("key name \"%1\" starts with \"%2\"").arg(name, t.left(1));
    }
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

QString IniSection::value(const QString& key, const QString& fallback) const {
    return m_values.value(key.trimmed().toCaseFolded(), fallback);
}

bool IniSection::contains(const QString& key) const {
    return m_values.contains(key.trimmed().toCaseFolded());
}

void IniSection::insert(const QString& key, const QString& value) {
    const QString k = key.trimmed().toCaseFolded();
    if (!m_values.contains(k)) m_values.insert(k, value);
}

// ---------------------------------------------------------------------------------------------------

/// The last parse of each file, used again while the file's bytes stay the same: for each section name
/// (case-folded) the keys of its first occurrence.
struct Config::ReadCache {
    struct Entry {
        QByteArray data;  // the file's bytes when parsed
        QHash<QString, IniSection> sections;
    };
    std::mutex mutex;
    QHash<QString, Entry> files;
};

Config::Config(const QString& dataDir, const QByteArray& codePage)
    : m_dataDir(dataDir), m_codePage(codePage), m_cache(std::make_shared<ReadCache>()) {}

bool Config::codePageSupported() const { return QStringEncoder(m_codePage.constData()).isValid(); }

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

bool Config::representable(const QString& text) const {
    QStringEncoder enc(m_codePage.constData());
    if (!enc.isValid()) {
        for (QChar c : text)
            if (c.unicode() > 0xFF) return false;
        return true;
    }
    const QByteArray bytes = enc.encode(text);
    Q_UNUSED(bytes);
    return !enc.hasError();
}

int Config::removeStaleTemporaries(qint64 olderThanSeconds) const {
    // The names replaceAtomically() makes: a dot, the file's name, ".tmp" and hexadecimal digits.
    static const QRegularExpression kTemporary(QStringLiteral("^\\..+\\.tmp[0-9a-f]+$"));
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-olderThanSeconds);
    int removed = 0;
    const QFileInfoList entries =
        QDir(m_dataDir).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QFileInfo& info : entries) {
        if (!kTemporary.match(info.fileName()).hasMatch()) continue;
        if (info.lastModified().toUTC() > cutoff) continue;
        if (QFile::remove(info.absoluteFilePath())) ++removed;
    }
    return removed;
}

QString Config::reini(const QString& fileName, const QString& section, const QString& key) const {
    // Only the first section of that name counts, and in it the first key of that name.
    return readSection(fileName, section).value(key);
}

IniSection Config::readSection(const QString& fileName, const QString& section) const {
    if (!plainFileName(fileName)) return {};
    const QString path = filePath(fileName);
    QByteArray data;
    if (!readWhole(path, data)) return {};
    const QString wanted = section.trimmed().toCaseFolded();
    {
        std::lock_guard<std::mutex> lock(m_cache->mutex);
        const auto it = m_cache->files.constFind(path);
        if (it != m_cache->files.constEnd() && it->data == data) return it->sections.value(wanted);
    }
    const FileImage image = splitLines(data);
    QStringDecoder decoder(m_codePage.constData());
    QHash<QString, IniSection> sections;
    IniSection* current = nullptr;
    for (const RawLine& raw : image.lines) {
        QString text;
        if (decoder.isValid()) {
            text = decoder.decode(raw.bytes);
            decoder.resetState();
        } else {
            text = QString::fromLatin1(raw.bytes);
        }
        const ParsedLine p = parseLine(text);
        if (p.kind == LineKind::Section) {
            const QString name = p.name.toCaseFolded();
            current = sections.contains(name) ? nullptr : &sections[name];  // the first of duplicates is used
            continue;
        }
        if (current && p.kind == LineKind::Key) current->insert(p.name, cutValue(unquoted(p.value)));
    }
    const IniSection result = sections.value(wanted);
    std::lock_guard<std::mutex> lock(m_cache->mutex);
    m_cache->files.insert(path, ReadCache::Entry{data, std::move(sections)});
    return result;
}

void Config::wrini(const QString& fileName, const QString& section, const QString& key,
                   const QString& value) {
    wriniBatch(fileName, {{section, key, value}});
}

void Config::wriniBatch(const QString& fileName, const QList<IniEntry>& entries) {
    const QString path = QDir::toNativeSeparators(QFileInfo(filePath(fileName)).absoluteFilePath());
    const QString failed = QStringLiteral("Unable to write to %1").arg(path);
    auto refuse = [&](const QString& reason) { throw ConfigError(failed + QStringLiteral(": ") + reason); };

    if (!plainFileName(fileName))
        refuse(QStringLiteral("\"%1\" is not a file name in the data folder").arg(fileName));
    for (const IniEntry& e : entries) {
        QString why = checkName(QStringLiteral("section"), e.section);
        if (why.isEmpty()) why = checkName(QStringLiteral("key"), e.key);
        if (!why.isEmpty()) refuse(why);
        if (e.value.contains(QLatin1Char('\n')) || e.value.contains(QLatin1Char('\r')))
            refuse(QStringLiteral("the value of %1 holds a line break").arg(e.key));
        for (const QString& text : {e.section, e.key, e.value})
            if (!representable(text))
                refuse(QStringLiteral("\"%1\" has characters that code page %2 cannot hold")
                           .arg(text, QString::fromLatin1(m_codePage)));
    }

    // A link in the data folder is followed, so that the file it points at is the one replaced.
    QString target = filePath(fileName);
    const QFileInfo info(target);
    if (info.isSymLink() && info.exists()) target = info.canonicalFilePath();

    QByteArray data;
    if (!readWhole(target, data)) throw ConfigError(failed);
    FileImage image = splitLines(data);
    QByteArray eol = QByteArrayLiteral("\r\n");
    for (const RawLine& l : image.lines)
        if (!l.eol.isEmpty()) {
            eol = l.eol;
            break;
        }

    QList<ParsedLine> parsed;
    parsed.reserve(image.lines.size());
    for (const RawLine& l : image.lines) parsed.append(parseLine(fromAnsi(l.bytes)));

    auto insertLine = [&](int at, const QString& text) {
        parsed.insert(at, parseLine(text));
        image.lines.insert(at, RawLine{toAnsi(text), eol});
    };

    for (const IniEntry& e : entries) {
        const QString section = e.section.trimmed();
        const QString key = e.key.trimmed();
        int sectionAt = -1, lastKeyAt = -1, keyAt = -1;
        for (int i = 0; i < parsed.size(); ++i) {
            const ParsedLine& p = parsed.at(i);
            if (p.kind == LineKind::Section) {
                if (sectionAt >= 0) break;
                if (sameName(p.name, section)) sectionAt = lastKeyAt = i;
                continue;
            }
            if (sectionAt < 0 || p.kind != LineKind::Key) continue;
            lastKeyAt = i;
            if (sameName(p.name, key)) {
                keyAt = i;
                break;
            }
        }
        if (keyAt >= 0) {
            // Keep the key as the file spells it ("Ports" stays "Ports"); only its value changes.
            const QString text = parsed.at(keyAt).name + QLatin1Char('=') + e.value;
            parsed[keyAt] = parseLine(text);
            image.lines[keyAt].bytes = toAnsi(text);
        } else if (sectionAt >= 0) {
            // After the section's last key: blank lines and comments that lead into the next
            // section stay where they are.
            if (image.lines.at(lastKeyAt).eol.isEmpty()) image.lines[lastKeyAt].eol = eol;
            insertLine(lastKeyAt + 1, key + QLatin1Char('=') + e.value);
        } else {
            if (!image.lines.isEmpty() && image.lines.last().eol.isEmpty()) image.lines.last().eol = eol;
            insertLine(int(parsed.size()), QLatin1Char('[') + section + QLatin1Char(']'));
            insertLine(int(parsed.size()), key + QLatin1Char('=') + e.value);
        }
    }

    QByteArray out = image.bom;
    for (const RawLine& l : image.lines) out += l.bytes + l.eol;
    if (!replaceAtomically(target, out)) throw ConfigError(failed);
}

// ---------------------------------------------------------------------------------------------------

qint32 ProductHash(const QByteArray& ansiText) {
    qint32 h = 1;
    for (char ch : ansiText) {
        const quint32 c = static_cast<unsigned char>(ch);
        // The product keeps its low 32 bits as a signed value; long texts wrap routinely.
        const qint32 p = static_cast<qint32>(static_cast<quint32>(h) * c);
        // p / 10 rounded half to even, on the signed value (C++ division truncates toward zero).
        qint32 q = p / 10;
        const qint32 r = p % 10;
        if (r > 5 || (r == 5 && (q & 1)))
            ++q;
        else if (r < -5 || (r == -5 && (q & 1)))
            --q;
        h = q;
    }
    return h;
}

QString CheckValue(const Config& config, const QString& language, const QString& flash, const QString& save2,
                   const QString& save1, const QString& ports, const QString& cjkl, const QString& ptkl) {
    const qint32 h = ProductHash(config.toAnsi(language + flash + save2 + save1 + ports + cjkl + ptkl));
    return QStringLiteral("%1").arg(static_cast<quint32>(h), 2, 16, QLatin1Char('0')).toUpper();
}

QString StoredCheckValue(const Config& config) {
    const QString ini = QStringLiteral("system.ini");
    const QString set = QStringLiteral("Set");
    auto get = [&](const char* key) { return config.reini(ini, set, QString::fromLatin1(key)); };
    return CheckValue(config, get("language"), get("flash"), get("save2"), get("save1"), get("ports"),
                      get("cjkl"), get("ptkl"));
}

QString SettingsCheckProblem(const Config& config) {
    const QString ini = QStringLiteral("system.ini");
    const QString path = config.filePath(ini);
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString make = QStringLiteral("tarsyn --init-config --data-dir \"%1\"")
                             .arg(QDir::toNativeSeparators(config.dataDir()));
    if (!info.exists()) return QStringLiteral("%1 does not exist: make it with %2").arg(shown, make);
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral(
                   "%1 cannot be read: give the program's user read access, or make a new one "
                   "with %2 --force")
            .arg(shown, make);
    file.close();
    if (StoredCheckValue(config) == config.reini(ini, QStringLiteral("Set"), QStringLiteral("jzm")))
        return {};
    return QStringLiteral(
               "%1: its check value \"jzm\" does not match the settings (changed by hand?): "
               "put the file back as the program saved it, or make a new one with %2 --force")
        .arg(shown, make);
}

}  // namespace tarsyn::config
