// system.ini as the program reads and writes it, from any bytes: GBK text, bytes GBK cannot decode,
// any line ends, a byte-order mark, duplicate and malformed sections and keys. Promises: a read
// never gives back more than 2047 characters; one write makes its key read back as written and
// changes no other key's value; every other line stays byte for byte; writing the same value again
// changes nothing.
// Input: three bytes choose the section, key and value written, the rest is the file.
#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "config/Config.h"

using namespace tarsyn;

namespace {

const QStringList kSections{"Set", "set", " SET ", "Gsm", "Ys", "Bj", "新节"};
const QStringList kKeys{"flash", "Ports", "port0", "jzm", "address", "键名", "sj1"};
const QStringList kValues{"6",   "",    "Chinese", "站点一号",
                          "a b", "x=y", "0;[Set]", QString(2047, QLatin1Char('9'))};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    FUZZ_REQUIRE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(), path);
}

// The lines without their line ends. CRs at a line's end all count as its line end: a last line
// without LF may end in a CR of its own, which becomes part of a CR LF when a write adds a line after it.
QList<QByteArray> lines(const QByteArray& bytes) {
    QList<QByteArray> out = bytes.split('\n');
    if (bytes.isEmpty() || bytes.endsWith('\n')) out.removeLast();  // no line after a final LF
    for (QByteArray& l : out)
        while (l.endsWith('\r')) l.chop(1);
    return out;
}

// Section and key names the file spells, as a reader of it would see them (at most a dozen each).
void namesIn(const QByteArray& bytes, QStringList& sections, QStringList& keys) {
    QStringDecoder gbk("GBK");
    for (const QByteArray& raw : lines(bytes)) {
        const QString text = gbk.decode(raw);
        gbk.resetState();
        const QString t = text.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            const int end = int(t.indexOf(QLatin1Char(']')));
            if (end > 0 && sections.size() < 12) sections << t.mid(1, end - 1);
        } else if (text.contains(QLatin1Char('=')) && keys.size() < 12) {
            keys << text.left(text.indexOf(QLatin1Char('=')));
        }
    }
}

bool same(const QString& a, const QString& b) {
    return a.trimmed().toCaseFolded() == b.trimmed().toCaseFolded();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    fuzz::Input in(data, size);
    const QString section = kSections.at(in.byte() % kSections.size());
    const QString key = kKeys.at(in.byte() % kKeys.size());
    const QString value = kValues.at(in.byte() % kValues.size());
    const QByteArray file = in.rest();
    const QString path = dir.filePath(QStringLiteral("system.ini"));
    writeFile(path, file);

    QStringList sections{section}, keys{key};
    namesIn(file, sections, keys);
    const config::Config before(dir.path());
    QHash<QPair<QString, QString>, QString> old;
    for (const QString& s : sections)
        for (const QString& k : keys) {
            const QString v = before.reini(QStringLiteral("system.ini"), s, k);
            FUZZ_REQUIRE(v.size() <= config::Config::kMaxValueLength,
                         QStringLiteral("[%1] %2: %3 characters").arg(s, k).arg(v.size()));
            old.insert({s, k}, v);
        }

    config::Config config(dir.path());
    try {
        config.wriniBatch(QStringLiteral("system.ini"), {{section, key, value}});
    } catch (const config::ConfigError& e) {
        fuzz::fail(__FILE__, __LINE__, "a write of a plain value to a readable file succeeds", e.message());
    }
    const QByteArray written = readFile(path);
    for (const QString& s : sections)
        for (const QString& k : keys) {
            const QString now = config.reini(QStringLiteral("system.ini"), s, k);
            const QString expected = same(s, section) && same(k, key) ? value : old.value({s, k});
            FUZZ_REQUIRE(now == expected,
                         QStringLiteral("[%1] %2 reads \"%3\", not \"%4\", after [%5] %6 was written")
                             .arg(s, k, now.left(80), expected.left(80), section, key));
        }

    // One place of the file changed: the key's own line replaced, or up to two lines added (the key,
    // and its section when new); every line before and after it stays byte for byte.
    const QList<QByteArray> was = lines(file), is = lines(written);
    qsizetype head = 0, tail = 0;
    while (head < was.size() && head < is.size() && was.at(head) == is.at(head)) ++head;
    while (tail < was.size() - head && tail < is.size() - head &&
           was.at(was.size() - 1 - tail) == is.at(is.size() - 1 - tail))
        ++tail;
    FUZZ_REQUIRE(was.size() - head - tail <= 1 && is.size() - head - tail <= 2,
                 QStringLiteral("more than one place changed:\n%1\nbecame\n%2")
                     .arg(QString::fromLatin1(file.toPercentEncoding(" =[]")),
                          QString::fromLatin1(written.toPercentEncoding(" =[]"))));

    config.wriniBatch(QStringLiteral("system.ini"), {{section, key, value}});
    FUZZ_REQUIRE(readFile(path) == written, "writing the same value again changed the file");
    return 0;
}
