// A language catalogue from any bytes, held to a plain reading of the profile format: lines end
// at LF (a CR before it is dropped), a UTF-8 byte-order mark is skipped, each line is GBK on its own;
// a line starting with "[" and holding "]" names a section, a line with "=" outside a ";" comment is
// a key; names match without regard to case or blanks, the first section and key of a name count;
// a value is trimmed, loses one pair of matching quotes and is cut at 2047 characters. Every message
// of the file reads as that reading gives it, and a key the file lacks reads "0".
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "config/Config.h"
#include "config/LiveSettings.h"

using namespace tarsyn;

namespace {

using Sections = QHash<QString, QHash<QString, QString>>;  // folded section -> folded key -> value

QString fold(const QString& name) { return name.trimmed().toCaseFolded(); }

QString reference(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > config::Config::kMaxValueLength) {
        int n = config::Config::kMaxValueLength;
        if (value.at(n - 1).isHighSurrogate()) --n;
        value.truncate(n);
    }
    return value;
}

Sections read(QByteArray bytes, QStringList& keys) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    Sections sections;
    QHash<QString, QString>* current = nullptr;
    QStringDecoder gbk("GBK");
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const qsizetype breaks = bytes.count('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray raw = lines.at(i);
        if (i < breaks && raw.endsWith('\r')) raw.chop(1);  // a last line without LF keeps its CR as text
        const QString line = gbk.decode(raw);
        gbk.resetState();
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            const int end = int(t.indexOf(QLatin1Char(']')));
            if (end > 0) {
                const QString name = fold(t.mid(1, end - 1));
                current = sections.contains(name) ? nullptr : &sections[name];
            }
            continue;
        }
        const int eq = int(line.indexOf(QLatin1Char('=')));
        if (t.startsWith(QLatin1Char(';')) || eq < 0 || !current) continue;
        const QString key = fold(line.left(eq));
        if (keys.size() < 40) keys << line.left(eq);  // enough to see every kind of line, and quick
        if (!current->contains(key)) current->insert(key, reference(line.mid(eq + 1)));
    }
    return sections;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(dir.filePath(QStringLiteral("English.lag")));
        FUZZ_REQUIRE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(),
                     f.fileName());
    }
    QStringList keys{QStringLiteral("dl19"), QStringLiteral("Form1caption"), QStringLiteral("lbl11.Caption")};
    const Sections expected = read(bytes, keys);

    const config::Config config(dir.path());
    config::LiveSettings settings;
    settings.setLanguage(QStringLiteral("English"));
    const config::Messages messages(config, settings);
    for (const QString& section : {QStringLiteral("Messages"), QStringLiteral("Translations")}) {
        const config::IniSection read = config.readSection(QStringLiteral("English.lag"), section);
        const QHash<QString, QString> want = expected.value(fold(section));
        FUZZ_REQUIRE(read.size() == want.size(),
                     QStringLiteral("%1: %2 keys, not %3").arg(section).arg(read.size()).arg(want.size()));
        for (const QString& key : keys) {
            const QString value = want.value(fold(key), QStringLiteral("0"));
            FUZZ_REQUIRE(read.value(key) == value,
                         QStringLiteral("[%1] %2 reads \"%3\", not \"%4\"")
                             .arg(section, key, read.value(key).left(80), value.left(80)));
            if (section == QLatin1String("Messages")) FUZZ_REQUIRE(messages.text(key) == value, key);
        }
    }
    return 0;
}
