#include <unistd.h>

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/SettingsLimits.h"

using namespace tarsyn::config;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Independent oracle for the hash: 64-bit product cut to 32 bits, division in floating point and
// the FPU's round-to-nearest-even (p / 10 is exact to half a unit for any 32-bit p).
qint32 referenceHash(const QByteArray& text) {
    qint32 h = 1;
    for (char ch : text) {
        const qint64 wide = qint64(h) * qint64(static_cast<unsigned char>(ch));
        const qint32 p = qint32(quint32(quint64(wide) & 0xFFFFFFFFu));
        h = qint32(std::nearbyint(double(p) / 10.0));
    }
    return h;
}

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        for (const QString& f : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(path(f));
    }

    // --- ProductHash and the check value ---------------------------------------------------------

    void productHash_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("hash");
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("abc worked example") << QByteArray("abc") << 970;
        QTest::newRow("code 85 half to even") << QByteArray("U") << 8;
        QTest::newRow("code 75 half to even") << QByteArray("K") << 8;
        QTest::newRow("code 65 rounds down") << QByteArray("A") << 6;       // 6.5 -> 6
        QTest::newRow("code 35 rounds up") << QByteArray("#") << 4;         // 3.5 -> 4
        QTest::newRow("code 255 uses 8 bits") << QByteArray("\xFF") << 26;  // 25.5 -> 26
        QTest::newRow("seven zeros") << QByteArray("0000000") << int(referenceHash("0000000"));
    }
    void productHash() {
        QFETCH(QByteArray, text);
        QFETCH(int, hash);
        QCOMPARE(ProductHash(text), qint32(hash));
    }

    void productHashMatchesOracleOnLongTexts() {
        // Long texts wrap the 32-bit product; negative products must round halves to even as well.
        QRandomGenerator rng(4711);
        int negatives = 0;
        for (int i = 0; i < 20000; ++i) {
            QByteArray text(int(rng.bounded(1, 40)), '\0');
            for (char& c : text) c = char(rng.bounded(1, 256));
            const qint32 h = ProductHash(text);
            if (h < 0) ++negatives;
            QCOMPARE(h, referenceHash(text));
        }
        QVERIFY2(negatives > 100, "the sample must reach negative hashes");
    }

    void checkValue_data() {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all zero") << QStringList(7, QStringLiteral("0")) << QStringLiteral("EE80");
        QTest::newRow("hash 1 gets a leading zero") << QStringList(7, QString()) << QStringLiteral("01");
        QTest::newRow("abc") << QStringList{"abc", "", "", "", "", "", ""} << QStringLiteral("3CA");
    }
    void checkValue() {
        QFETCH(QStringList, inputs);
        QFETCH(QString, expected);
        const Config config(m_dir.path());
        QCOMPARE(
            CheckValue(config, inputs[0], inputs[1], inputs[2], inputs[3], inputs[4], inputs[5], inputs[6]),
            expected);
    }

    void checkValueOfNegativeHashHasEightDigits() {
        const Config config(m_dir.path());
        // Find a realistic settings text whose hash is negative.
        for (int ports = 0; ports < 1000; ++ports) {
            const QString p = QString::number(ports);
            const qint32 h =
                ProductHash(config.toAnsi("Chinese"
                                          "6"
                                          "1"
                                          "60" +
                                          p +
                                          "-123456"
                                          "98765"));
            if (h >= 0) continue;
            const QString v = CheckValue(config, "Chinese", "6", "1", "60", p, "-123456", "98765");
            QCOMPARE(v.size(), 8);
            QVERIFY(QStringLiteral("89ABCDEF").contains(v.at(0)));
            QCOMPARE(v, v.toUpper());
            QCOMPARE(v.toUInt(nullptr, 16), quint32(h));
            return;
        }
        QFAIL("no negative hash found");
    }

    void checkValueOrderPutsSave2BeforeSave1() {
        const Config config(m_dir.path());
        QCOMPARE(CheckValue(config, "L", "6", "2", "60", "1", "5", "7"),
                 CheckValue(config, "L62601", "", "", "", "", "5", "7"));
        QVERIFY(CheckValue(config, "L", "6", "2", "60", "1", "5", "7") !=
                CheckValue(config, "L", "6", "60", "2", "1", "5", "7"));
    }

    void storedCheckValueAndCaseSensitiveJzm() {
        Config config(m_dir.path());
        // Missing keys each count as "0": a missing file gives EE80, never the default "0" of jzm.
        QCOMPARE(StoredCheckValue(config), QStringLiteral("EE80"));
        config.wriniBatch("system.ini", {{"Set", "language", "English"},
                                         {"Set", "flash", "6"},
                                         {"Set", "save2", "1"},
                                         {"Set", "save1", "60"},
                                         {"Set", "ports", "0"},
                                         {"Set", "cjkl", "-1234"},
                                         {"Set", "ptkl", "98"}});
        const QString good = StoredCheckValue(config);
        QVERIFY(good.contains(QRegularExpression("[A-F]")));  // so that lower case differs
        config.wrini("system.ini", "Set", "jzm", good.toLower());
        QVERIFY(config.reini("system.ini", "Set", "jzm") != StoredCheckValue(config));
        config.wrini("system.ini", "Set", "jzm", good);
        QCOMPARE(config.reini("system.ini", "Set", "jzm"), StoredCheckValue(config));
    }

    // The line under "system.ini Error!": which file, what is wrong, what to do.
    void settingsCheckProblem_data() {
        QTest::addColumn<QByteArray>("content");  // "-" for no file, "dir" for a folder of that name
        QTest::addColumn<QString>("reason");      // empty: the check passes
        const Config plain(m_dir.path());
        const QByteArray jzm = CheckValue(plain, "English", "6", "1", "60", "0", "0", "0").toLatin1();
        const QByteArray good = "[Set]\r\nlanguage=English\r\nflash=6\r\nsave2=1\r\nsave1=60\r\nports=0\r\n";
        QTest::newRow("consistent") << good + "jzm=" + jzm + "\r\n" << QString();
        QTest::newRow("missing") << QByteArray("-") << "does not exist";
        QTest::newRow("a folder") << QByteArray("dir") << "cannot be read";
        QTest::newRow("edited by hand") << good + "jzm=" + jzm.toLower() + "\r\n"
                                        << "does not match";
        QTest::newRow("fresh file") << QByteArray("[Set]\r\n") << "does not match";
    }
    void settingsCheckProblem() {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QDir(m_dir.path()).rmdir("system.ini");
        if (content == "dir")
            QVERIFY(QDir(m_dir.path()).mkdir("system.ini"));
        else if (content != "-")
            writeBytes(path("system.ini"), content);
        const Config config(m_dir.path());
        const QString problem = SettingsCheckProblem(config);
        QDir(m_dir.path()).rmdir("system.ini");
        if (reason.isEmpty()) {
            QCOMPARE(problem, QString());
            return;
        }
        QVERIFY2(problem.startsWith(QDir::toNativeSeparators(path("system.ini"))), qPrintable(problem));
        QVERIFY2(problem.contains(reason), qPrintable(problem));
        QVERIFY2(problem.contains("tarsyn --init-config --data-dir \"" +
                                  QDir::toNativeSeparators(m_dir.path()) + "\""),
                 qPrintable(problem));
        QVERIFY(!problem.contains('\n'));  // one line under the fixed text
    }

    void unreadableFileIsNamed() {
        // Root reads a file whatever its permissions: there a folder stands where the file should.
        const bool root = ::geteuid() == 0;
        if (root) {
            QVERIFY(QDir(m_dir.path()).mkdir("system.ini"));
        } else {
            writeBytes(path("system.ini"), "[Set]\r\n");
            QFile::setPermissions(path("system.ini"), QFileDevice::WriteOwner);
        }
        const QString problem = SettingsCheckProblem(Config(m_dir.path()));
        if (root)
            QDir(m_dir.path()).rmdir("system.ini");
        else
            QFile::setPermissions(path("system.ini"), QFileDevice::WriteOwner | QFileDevice::ReadOwner);
        QVERIFY2(problem.contains("cannot be read"), qPrintable(problem));
    }

    // --- Reading ---------------------------------------------------------------------------------

    void reiniLookups_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Set"
                               << "flash"
                               << "6";
        QTest::newRow("case of section and key") << "SET"
                                                 << "FLASH"
                                                 << "6";
        QTest::newRow("blanks around names") << " Set "
                                             << " flash "
                                             << "6";
        QTest::newRow("Ports and ports are one key") << "Set"
                                                     << "Ports"
                                                     << "3";
        QTest::newRow("value trimmed") << "Set"
                                       << "remark0"
                                       << "pump room";
        QTest::newRow("empty value is empty") << "Set"
                                              << "portremark0"
                                              << "";
        QTest::newRow("first duplicate key wins") << "Set"
                                                  << "dup"
                                                  << "first";
        QTest::newRow("first duplicate section wins") << "Set"
                                                      << "later"
                                                      << "0";
        QTest::newRow("missing key") << "Set"
                                     << "nothing"
                                     << "0";
        QTest::newRow("missing section") << "Nope"
                                         << "flash"
                                         << "0";
        QTest::newRow("comment is no key") << "Set"
                                           << ";note"
                                           << "0";
        QTest::newRow("key of another section") << "Gsm"
                                                << "flash"
                                                << "0";
        QTest::newRow("other section") << "Gsm"
                                       << "name"
                                       << "station 1";
        QTest::newRow("equals inside value") << "Gsm"
                                             << "expr"
                                             << "a=b";
    }
    void reiniLookups() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeBytes(
            path("system.ini"),
            "; settings\r\n[ Set ]\r\nflash = 6\r\nports=3\r\nremark0=  pump room  \r\nportremark0=\r\n"
            ";note=x\r\ndup=first\r\ndup=second\r\n\r\n[gsm]\r\nname=station 1\r\nexpr=a=b\r\n"
            "[set]\r\nlater=1\r\n");
        const Config config(m_dir.path());
        QCOMPARE(config.reini("system.ini", section, key), expected);
    }

    // Windows profile reads drop one pair of matching quotes around a value; a file written there
    // with quoted values must read the same here.
    void quotedValues_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("double quotes") << QByteArray("v=\"Chinese\"") << "Chinese";
        QTest::newRow("single quotes") << QByteArray("v='Chinese'") << "Chinese";
        QTest::newRow("blanks outside the quotes") << QByteArray("v =  \"abc\"  ") << "abc";
        QTest::newRow("blanks inside are kept") << QByteArray("v=\" a b \"") << " a b ";
        QTest::newRow("only one pair") << QByteArray("v=\"\"x\"\"") << "\"x\"";
        QTest::newRow("empty quotes") << QByteArray("v=\"\"") << "";
        QTest::newRow("mismatched quotes stay") << QByteArray("v=\"abc'") << "\"abc'";
        QTest::newRow("lone quote stays") << QByteArray("v=\"") << "\"";
        QTest::newRow("opening quote only") << QByteArray("v=\"abc") << "\"abc";
        QTest::newRow("quotes inside stay") << QByteArray("v=say \"hi\"") << "say \"hi\"";
    }
    void quotedValues() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        writeBytes(path("system.ini"), "[Set]\r\n" + line + "\r\n");
        const Config config(m_dir.path());
        QCOMPARE(config.reini("system.ini", "Set", "v"), expected);
        QCOMPARE(config.readSection("system.ini", "Set").value("v"), expected);
    }

    void quotedLanguagePassesTheCheck() {
        // The check value covers the language as read, without its quotes.
        const Config plain(m_dir.path());
        const QString jzm = CheckValue(plain, "Chinese", "6", "1", "60", "1", "0", "0");
        writeBytes(path("system.ini"),
                   "[Set]\r\nlanguage=\"Chinese\"\r\nflash='6'\r\nsave2=1\r\nsave1=60\r\n"
                   "ports=1\r\ncjkl=0\r\nptkl=0\r\njzm=\"" +
                       jzm.toLatin1() + "\"\r\n");
        QCOMPARE(StoredCheckValue(plain), jzm);
        QCOMPARE(plain.reini("system.ini", "Set", "jzm"), jzm);
        // A quoted catalogue text shows without its quotes.
        writeBytes(path("A.lag"), "[Translations]\r\nlbl1.Caption=\"  Language \"\r\n");
        QCOMPARE(plain.readSection("A.lag", "Translations").value("lbl1.Caption"),
                 QStringLiteral("  Language "));
    }

    void reiniMissingFileOrBadName() {
        const Config config(m_dir.path());
        QCOMPARE(config.reini("absent.ini", "Set", "flash"), QStringLiteral("0"));
        QVERIFY(QDir(m_dir.path()).mkdir("adir"));
        QCOMPARE(config.reini("adir", "Set", "flash"), QStringLiteral("0"));
        writeBytes(m_dir.filePath("adir/system.ini"), "[Set]\nflash=9\n");
        QCOMPARE(config.reini("adir/system.ini", "Set", "flash"), QStringLiteral("0"));
        QCOMPARE(config.reini("../system.ini", "Set", "flash"), QStringLiteral("0"));
        QDir(m_dir.filePath("adir")).removeRecursively();
    }

    void valuesCutAt2047Characters() {
        Config config(m_dir.path());
        const QString longValue = QString(3000, QLatin1Char('x'));
        config.wrini("system.ini", "Gsm", "long", longValue);
        QCOMPARE(config.reini("system.ini", "Gsm", "long"), longValue.left(2047));
        QCOMPARE(config.readSection("system.ini", "Gsm").value("long").size(), 2047);
        // The whole value stays in the file: only reads are cut.
        QVERIFY(readBytes(path("system.ini")).contains(longValue.toLatin1()));
    }

    void readSectionReadsOnce() {
        writeBytes(path("A.lag"),
                   "[Translations]\nlbl1.Caption=Language\nBTN1.caption=\nlbl1.caption=again\n"
                   "[Messages]\ndl1=Save?\n");
        const Config config(m_dir.path());
        const IniSection t = config.readSection("A.lag", "translations");
        QCOMPARE(t.size(), 2);
        QCOMPARE(t.value("LBL1.Caption"), QStringLiteral("Language"));
        QVERIFY(t.contains("btn1.Caption"));
        QCOMPARE(t.value("btn1.Caption", "keep"), QString());
        QCOMPARE(t.value("dl1", "keep"), QStringLiteral("keep"));
        QCOMPARE(config.readSection("none.lag", "Translations").size(), 0);
    }

    // --- Writing ---------------------------------------------------------------------------------

    void writeKeepsEverythingElse_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const QByteArray crlf =
            "; top comment\r\n[Set]\r\nlanguage=Chinese\r\n  ; kept\r\nPorts=3\r\n\r\n"
            "[Ys]\r\nys1=10\r\n";
        QTest::newRow("replace in place, CRLF")
            << crlf << "set"
            << "ports"
            << "2"
            << QByteArray(
                   "; top comment\r\n[Set]\r\nlanguage=Chinese\r\n  ; kept\r\nPorts=2\r\n\r\n"
                   "[Ys]\r\nys1=10\r\n");
        QTest::newRow("missing key after last key of its section")
            << crlf << "Set"
            << "flash"
            << "10"
            << QByteArray(
                   "; top comment\r\n[Set]\r\nlanguage=Chinese\r\n  ; kept\r\nPorts=3\r\nflash=10\r\n\r\n"
                   "[Ys]\r\nys1=10\r\n");
        QTest::newRow("missing section at the end") << crlf << "Gsm"
                                                    << "name"
                                                    << "A" << QByteArray(crlf + "[Gsm]\r\nname=A\r\n");
        QTest::newRow("LF file stays LF") << QByteArray("[Set]\nflash=6\n") << "Set"
                                          << "save1"
                                          << "60" << QByteArray("[Set]\nflash=6\nsave1=60\n");
        QTest::newRow("no newline at the end") << QByteArray("[Set]\r\nflash=6") << "Set"
                                               << "save1"
                                               << "60" << QByteArray("[Set]\r\nflash=6\r\nsave1=60\r\n");
        QTest::newRow("replace keeps a missing final newline") << QByteArray("[Set]\r\nflash=6") << "Set"
                                                               << "flash"
                                                               << "10" << QByteArray("[Set]\r\nflash=10");
        QTest::newRow("empty section header only") << QByteArray("[Set]\r\n[Ys]\r\n") << "Set"
                                                   << "flash"
                                                   << "6" << QByteArray("[Set]\r\nflash=6\r\n[Ys]\r\n");
        QTest::newRow("new file uses CR LF") << QByteArray() << "Set"
                                             << "flash"
                                             << "6" << QByteArray("[Set]\r\nflash=6\r\n");
        QTest::newRow("empty value") << QByteArray("[Set]\r\nportremark0=x\r\n") << "Set"
                                     << "portremark0"
                                     << "" << QByteArray("[Set]\r\nportremark0=\r\n");
        QTest::newRow("undecodable bytes elsewhere survive")
            << QByteArray("[Gsm]\r\nraw=\x81\x20\xFF\r\n[Set]\r\nflash=6\r\n") << "Set"
            << "flash"
            << "10" << QByteArray("[Gsm]\r\nraw=\x81\x20\xFF\r\n[Set]\r\nflash=10\r\n");
    }
    void writeKeepsEverythingElse() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isEmpty()) writeBytes(path("system.ini"), before);
        Config config(m_dir.path());
        config.wrini("system.ini", section, key, value);
        QCOMPARE(readBytes(path("system.ini")), after);
        QCOMPARE(config.reini("system.ini", section, key), value);
    }

    void batchIsOneReplacementAndLeavesNoTemporaryFiles() {
        writeBytes(path("system.ini"), "[Set]\r\nflash=6\r\n");
        QVERIFY(QFile::setPermissions(
            path("system.ini"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        Config config(m_dir.path());
        config.wriniBatch("system.ini",
                          {{"Set", "flash", "10"}, {"Set", "ports", "1"}, {"Set", "port0", "com1"}});
        QCOMPARE(readBytes(path("system.ini")), QByteArray("[Set]\r\nflash=10\r\nports=1\r\nport0=com1\r\n"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"system.ini"});
        QCOMPARE(QFile::permissions(path("system.ini")) & QFileDevice::Permissions(0x7077),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    }

    void threeRowPortListAndDeletedRow() {
        Config config(m_dir.path());
        QList<IniEntry> rows{{"Set", "ports", "3"}};
        for (int i = 0; i < 3; ++i)
            rows << IniEntry{"Set", QStringLiteral("port%1").arg(i), QStringLiteral("com%1").arg(i + 1)}
                 << IniEntry{"Set", QStringLiteral("remark%1").arg(i), QStringLiteral("set %1").arg(i + 1)}
                 << IniEntry{"Set", QStringLiteral("portremark%1").arg(i), QString()};
        config.wriniBatch("system.ini", rows);
        LiveSettings live;
        live.load(config);  // reads "Ports" and "Port<n>": the same keys
        QCOMPARE(live.ports().size(), 3);
        QCOMPARE(live.ports().at(2).port, QStringLiteral("com3"));
        QCOMPARE(live.ports().at(1).remark, QStringLiteral("set 2"));
        QCOMPARE(live.ports().at(0).notes, QString());

        config.wriniBatch("system.ini",
                          {{"Set", "ports", "2"}, {"Set", "port0", "com1"}, {"Set", "port1", "com3"}});
        live.load(config);
        QCOMPARE(live.ports().size(), 2);
        QCOMPARE(live.ports().at(1).port, QStringLiteral("com3"));
        QCOMPARE(config.reini("system.ini", "Set", "port2"), QStringLiteral("com3"));  // left, ignored
        QCOMPARE(readBytes(path("system.ini")).count("ports="), 1);
    }

    void gbkRoundTrip() {
        Config config(m_dir.path());
        QVERIFY(config.codePageSupported());
        const QString chinese = QStringLiteral(u"系统设置");
        config.wrini("Chinese.lag", "Translations", "Set1.Caption", chinese);
        const QByteArray bytes = readBytes(path("Chinese.lag"));
        QVERIFY(bytes.contains(QByteArray("\xCF\xB5\xCD\xB3\xC9\xE8\xD6\xC3")));  // GBK, not UTF-8
        QCOMPARE(config.reini("Chinese.lag", "translations", "set1.caption"), chinese);
        // A GBK trail byte may equal "]" (0x5D): the section name still parses.
        QString trail;
        QStringEncoder enc("GBK");
        for (char16_t u = 0x4E00; u < 0x9FA5 && trail.isEmpty(); ++u) {
            const QByteArray b = enc.encode(QString(QChar(u)));
            if (b.size() == 2 && b.at(1) == ']') trail = QChar(u);
        }
        QVERIFY(!trail.isEmpty());
        config.wrini("Chinese.lag", trail + "x", "k", "v");
        QCOMPARE(config.reini("Chinese.lag", trail + "x", "k"), QStringLiteral("v"));
        QCOMPARE(config.reini("Chinese.lag", "Translations", "Set1.Caption"), chinese);
    }

    void otherCodePage() {
        Config latin(m_dir.path(), "ISO-8859-1");
        latin.wrini("x.ini", "S", "k", QStringLiteral(u"caf\u00e9"));
        QCOMPARE(readBytes(path("x.ini")), QByteArray("[S]\r\nk=caf\xE9\r\n"));
        QCOMPARE(latin.reini("x.ini", "S", "k"), QStringLiteral(u"caf\u00e9"));
    }

    void refusedWritesChangeNothing_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("line break in value") << "Set"
                                             << "remark0"
                                             << "a\r\n[Set]\r\njzm=0"
                                             << "line break";
        QTest::newRow("equals in key") << "Set"
                                       << "a=b"
                                       << "1"
                                       << "\"=\"";
        QTest::newRow("bracket in section") << "S]x"
                                            << "k"
                                            << "1"
                                            << "\"]\"";
        QTest::newRow("empty key") << "Set"
                                   << " "
                                   << "1"
                                   << "empty key";
        QTest::newRow("not in the code page")
            << "Set"
            << "remark0" << QStringLiteral(u"pump \U0001F600") << "code page GBK";
    }
    void refusedWritesChangeNothing() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        const QByteArray before = "[Set]\r\nflash=6\r\n";
        writeBytes(path("system.ini"), before);
        Config config(m_dir.path());
        try {
            config.wriniBatch("system.ini", {{"Set", "flash", "10"}, {section, key, value}});
            QFAIL("no error raised");
        } catch (const ConfigError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Unable to write to ") +
                                            QDir::toNativeSeparators(path("system.ini"))),
                     qPrintable(e.message()));
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QCOMPARE(readBytes(path("system.ini")), before);
    }

    void unwritableTargetRaisesAndKeepsFile() {
        // Tests may run as root, where permission bits do not stop a write: a folder in the file's
        // place and a missing data folder fail for everyone.
        QVERIFY(QDir(m_dir.path()).mkdir("system.ini"));
        writeBytes(path("system.ini/inside"), "keep");
        Config config(m_dir.path());
        try {
            config.wrini("system.ini", "Set", "flash", "6");
            QFAIL("no error raised");
        } catch (const ConfigError& e) {
            QCOMPARE(
                e.message(),
                QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path("system.ini"))));
        }
        QVERIFY(QFileInfo(path("system.ini")).isDir());
        QCOMPARE(readBytes(path("system.ini/inside")), QByteArray("keep"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QDir(path("system.ini")).removeRecursively();

        Config missing(m_dir.filePath("no/such/folder"));
        try {
            missing.wrini("system.ini", "Set", "flash", "6");
            QFAIL("no error raised");
        } catch (const ConfigError& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Unable to write to %1")
                         .arg(QDir::toNativeSeparators(m_dir.filePath("no/such/folder/system.ini"))));
        }
        QVERIFY(!QFileInfo::exists(m_dir.filePath("no")));
    }

    void writeFollowsALinkInTheDataFolder() {
        QTemporaryDir elsewhere;
        writeBytes(elsewhere.filePath("real.ini"), "[Set]\nflash=6\n");
        QVERIFY(QFile::link(elsewhere.filePath("real.ini"), path("system.ini")));
        Config config(m_dir.path());
        config.wrini("system.ini", "Set", "flash", "10");
        QVERIFY(QFileInfo(path("system.ini")).isSymLink());
        QCOMPARE(readBytes(elsewhere.filePath("real.ini")), QByteArray("[Set]\nflash=10\n"));
    }

    // Saves killed between writing their temporary copy and the rename leave ".system.ini.tmp<hex>"
    // behind; the start removes those, but not a copy a save is writing right now, nor anything else.
    void staleTemporariesAreRemoved() {
        QTemporaryDir dir;
        Config config(dir.path());
        const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
        auto make = [&](const QString& name, bool aged) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Set]\r\n");
            f.flush();  // a write at the close would stamp the file anew
            if (aged) QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        };
        make(".system.ini.tmp1a2b3c4d", true);
        make(".kalde.ini.tmpff", true);
        make(".system.ini.tmp99", false);  // a save running now
        make("system.ini", true);          // the file itself
        make(".system.ini.tmpxyz", true);  // not a name a save makes
        make("notes.tmp1234", true);       // nor this
        QCOMPARE(config.removeStaleTemporaries(60), 2);
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left,
                 (QStringList{".system.ini.tmp99", ".system.ini.tmpxyz", "notes.tmp1234", "system.ini"}));
    }

    // The start refuses the numbers of section Set that would stop polling or recording, naming the
    // file, the key, the value and the range, even when the check value matches them.
    void rangeProblems_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("range");  // empty: accepted
        QTest::newRow("ports 2147483647") << "ports"
                                          << "2147483647"
                                          << "from 0 to 64 (ports)";
        QTest::newRow("ports -5") << "ports"
                                  << "-5"
                                  << "from 0 to 64 (ports)";
        QTest::newRow("ports 65") << "ports"
                                  << "65"
                                  << "from 0 to 64 (ports)";
        QTest::newRow("ports 64") << "ports"
                                  << "64"
                                  << "";
        QTest::newRow("ports missing reads 0") << "ports" << QString() << "";
        QTest::newRow("refresh 0") << "flash"
                                   << "0"
                                   << "from 1 to 3600 (seconds)";
        QTest::newRow("refresh abc") << "flash"
                                     << "abc"
                                     << "from 1 to 3600 (seconds)";
        QTest::newRow("hour interval 2147483647") << "save1"
                                                  << "2147483647"
                                                  << "from 0 to 3600 (seconds)";
        QTest::newRow("day interval 1441") << "save2"
                                           << "1441"
                                           << "from 0 to 1440 (minutes)";
        QTest::newRow("day interval 1440") << "save2"
                                           << "1440"
                                           << "";
    }
    void rangeProblems() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, range);
        QTemporaryDir dir;
        Config config(dir.path());
        QList<IniEntry> set{
            {"Set", "flash", "6"}, {"Set", "save1", "60"}, {"Set", "save2", "1"}, {"Set", "ports", "0"}};
        for (IniEntry& e : set)
            if (e.key == key) e.value = value;
        if (value.isNull()) set.removeIf([&](const IniEntry& e) { return e.key == key; });
        config.wriniBatch("system.ini", set);
        const QString problem = SettingsRangeProblem(config);
        if (range.isEmpty()) {
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            return;
        }
        QVERIFY2(problem.startsWith(QDir::toNativeSeparators(config.filePath("system.ini"))),
                 qPrintable(problem));
        QVERIFY2(problem.contains(QStringLiteral("[Set] %1=%2 ").arg(key, value)), qPrintable(problem));
        QVERIFY2(problem.contains(range), qPrintable(problem));
        QVERIFY2(problem.contains("--init-config"), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
