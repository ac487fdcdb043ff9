// The shipped catalogues and help files: every message key the program looks up is in both
// catalogues, both parse in their code page, and the two hold the same keys so that switching back
// and forth restores every text.
//
// Convention for message keys in code: always a string literal at the call, either
// `messages.text("dl4")` / `m_messages.text(...)` or `text(QStringLiteral("dl4"))`; keys kept in a
// table are spelled out as literals too ("dl8", "Form6caption"), which this scan also finds.
#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtTest>

#include "config/Config.h"
#include "widgets/Catalogue.h"

using namespace tarsyn::widgets;
using namespace tarsyn::config;

namespace {

QString sourceDir() {
    const QString env = qEnvironmentVariable("TARSYN_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(TARSYN_SOURCE_DIR_FALLBACK) : env;
}
QString dataDir() { return sourceDir() + QStringLiteral("/data"); }

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Keys of one section, in file order, straight from the text (Config only answers by key).
QStringList sectionKeys(const Config& config, const QString& file, const QString& section) {
    QStringList keys;
    bool in = false;
    const QStringList lines = config.fromAnsi(readBytes(config.filePath(file))).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            in = t.mid(1, t.indexOf(QLatin1Char(']')) - 1).compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (in && eq > 0 && !t.startsWith(QLatin1Char(';'))) keys << line.left(eq).trimmed();
    }
    return keys;
}

QStringList fixedMessageKeys() {
    QStringList keys{"Form1caption",  "Form2caption",  "Form3caption",  "Form5caption",  "Form6caption",
                     "Form7caption",  "Form8caption",  "Form9caption",  "Form10caption", "Form11caption",
                     "Form12caption", "Form13caption", "Form16caption", "Form17caption", "gsmcaption",
                     "port",          "remark",        "notes",         "lxsb",          "gdsb"};
    for (int i = 1; i <= 33; ++i)
        if (i < 21 || i > 27) keys << QStringLiteral("dl%1").arg(i);
    return keys;
}

QStringList alarmKeys() {
    QStringList keys;
    for (int code = 0x01; code <= 0x20; ++code)
        keys << QStringLiteral("E%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    return keys;
}

// Message keys named in the program's sources.
QMap<QString, QString> scannedMessageKeys() {
    static const QRegularExpression call(
        QStringLiteral("(?:essages\\s*(?:\\.|->)\\s*text\\(\\s*(?:QStringLiteral\\(\\s*)?|"
                       "\\btext\\(\\s*QStringLiteral\\(\\s*)\"([^\"\\\\]+)\""));
    static const QRegularExpression tableLiteral(
        QStringLiteral("\"((?:dl\\d+)|(?:Form\\d+caption)|gsmcaption|lxsb|gdsb)\""));
    QMap<QString, QString> found;  // key -> where
    QDirIterator it(sourceDir() + QStringLiteral("/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString text = QString::fromUtf8(readBytes(path));
        for (const QRegularExpression* re : {&call, &tableLiteral}) {
            auto m = re->globalMatch(text);
            while (m.hasNext()) found.insert(m.next().captured(1), QFileInfo(path).fileName());
        }
    }
    return found;
}

// What a quote in a help file is compared with: a catalogue text without its menu mnemonic ("&",
// "(&S)", "(G)") or trailing "...", every placeholder "%1" written as "...", and the parts of a
// message around its placeholders (the reason in "cannot open %1: no such device - …").
QSet<QString> quotableTexts(const Config& config, const QString& language) {
    static const QRegularExpression mnemonic(QStringLiteral("\\((?:&)?[A-Z]\\)$|&(?=\\S)"));
    static const QRegularExpression placeholder(QStringLiteral("%\\d"));
    static const QRegularExpression partBreak(QStringLiteral("%\\d|:\\s|："));
    QSet<QString> texts;
    for (const char* section : {"Translations", "Messages"}) {
        const IniSection s = config.readSection(CatalogueFileName(language), QLatin1String(section));
        for (const QString& key : sectionKeys(config, CatalogueFileName(language), QLatin1String(section))) {
            QString text = s.value(key).trimmed();
            text.remove(mnemonic);
            if (text.endsWith(QLatin1String("..."))) text.chop(3);
            text = text.trimmed();
            texts << text;
            texts << QString(text).replace(placeholder, QStringLiteral("..."));
            for (const QString& part : text.split(partBreak, Qt::SkipEmptyParts)) texts << part.trimmed();
        }
    }
    return texts;
}

/// What a help file quotes: the text between straight double quotes, or between Chinese ones
/// (“…”), blanks and line breaks made single spaces.
QStringList helpQuotes(const QString& help) {
    static const QRegularExpression quote(QStringLiteral("\"([^\"]+)\"|\u201C([^\u201D]+)\u201D"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList quotes;
    for (auto m = quote.globalMatch(help); m.hasNext();) {
        const QRegularExpressionMatch match = m.next();
        QString quoted = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        quotes << quoted.replace(blanks, QStringLiteral(" ")).trimmed();
    }
    return quotes;
}
}  // namespace

class TestCatalogueFiles : public QObject {
    Q_OBJECT
private slots:
    void bothCataloguesShip() {
        const QStringList languages = LanguageCatalogues(dataDir());
        QVERIFY2(languages.contains("Chinese"), qPrintable(languages.join(',')));
        QVERIFY(languages.contains("English"));
    }

    void everyMessageKeyIsInBothCatalogues_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("Chinese") << "Chinese";
        QTest::newRow("English") << "English";
    }
    void everyMessageKeyIsInBothCatalogues() {
        QFETCH(QString, language);
        const Config config(dataDir());
        const IniSection messages = config.readSection(CatalogueFileName(language), "Messages");
        QStringList missing;
        for (const QString& key : fixedMessageKeys() + alarmKeys())
            if (!messages.contains(key)) missing << key;
        const QMap<QString, QString> scanned = scannedMessageKeys();
        QVERIFY2(scanned.size() > 0 || !QFileInfo::exists(sourceDir() + "/src/app/MainWindow.cpp"),
                 "the source scan found no message lookups");
        for (auto it = scanned.cbegin(); it != scanned.cend(); ++it)
            if (!messages.contains(it.key())) missing << it.key() + " (" + it.value() + ")";
        QVERIFY2(missing.isEmpty(), qPrintable("missing in " + language + ".lag: " + missing.join(", ")));
    }

    void cataloguesHoldTheSameKeys_data() {
        QTest::addColumn<QString>("section");
        QTest::newRow("Translations") << "Translations";
        QTest::newRow("Messages") << "Messages";
    }
    void cataloguesHoldTheSameKeys() {
        // A key only one catalogue has would keep the other language's text after a switch back.
        QFETCH(QString, section);
        const Config config(dataDir());
        const QStringList zh = sectionKeys(config, "Chinese.lag", section);
        const QStringList en = sectionKeys(config, "English.lag", section);
        QVERIFY(zh.size() > 20);
        QCOMPARE(QSet<QString>(zh.cbegin(), zh.cend()), QSet<QString>(en.cbegin(), en.cend()));
        QCOMPARE(zh.size(), QSet<QString>(zh.cbegin(), zh.cend()).size());  // no duplicate keys
        for (const QString& lang : {QStringLiteral("Chinese"), QStringLiteral("English")}) {
            const IniSection s = config.readSection(CatalogueFileName(lang), section);
            for (const QString& key : zh)
                QVERIFY2(!s.value(key).isEmpty(), qPrintable(lang + ": empty " + key));
        }
    }

    void valueLabelsHaveNoCaptionKeys() {
        // These controls show readings, dates or names; a caption key would overwrite the value at
        // every language switch.
        const Config config(dataDir());
        const QStringList keys = sectionKeys(config, "English.lag", "Translations");
        static const QRegularExpression valueControl(
            QStringLiteral("^(pnl\\d+|zs\\d+|lblbt[012]|lbl999|lblgzts|lbldqzy|lblgzzys|lblgzfgh|lblgjzdmc|"
                           "lblckh|lbldqrq|lbldqri|"
                           "lbldw1?|lbly[01]1?|lblym1?|lblx[0-3]|lblx1[1-3]|lblx01|lblxm1?|lblnlm(in|ax)2|"
                           "lbl24m(in|ax)2|lblgy\\d|mmohelp)\\."));
        for (const QString& key : keys) QVERIFY2(!valueControl.match(key).hasMatch(), qPrintable(key));
    }

    void chineseCatalogueIsGbkAndRoundTrips() {
        const QByteArray bytes = readBytes(dataDir() + "/Chinese.lag");
        QVERIFY(!bytes.isEmpty());
        QStringDecoder gbk("GBK");
        const QString text = gbk.decode(bytes);
        QVERIFY(!gbk.hasError());
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString asUtf8 = utf8.decode(bytes);
        Q_UNUSED(asUtf8);
        QVERIFY2(utf8.hasError(), "Chinese.lag must be GBK, not UTF-8");
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains("\r\n"));

        const Config config(dataDir());
        QCOMPARE(TranslationText(config, "Chinese", "Set1.Caption"), QStringLiteral(u"系统设置(&S)"));
        QCOMPARE(TranslationText(config, "Chinese", "lbl11.Caption"), QStringLiteral(u"机组电压A相"));
        QCOMPARE(TranslationText(config, "Chinese", "btngsm3.Caption"), QStringLiteral(u"从模块读"));
        QCOMPARE(TranslationText(config, "Chinese", "rbdz2.Caption"), QStringLiteral(u"脉冲(保持2秒后断开)"));
        QCOMPARE(config.reini("Chinese.lag", "Messages", "E08"), QStringLiteral(u"紧急停机"));
    }

    void englishCatalogueIsPlainAscii() {
        QByteArray bytes = readBytes(dataDir() + "/English.lag");
        QVERIFY(!bytes.isEmpty());
        // The one exception is the unit °C (the degree sign in the catalogues' code page, GBK): it
        // reads right wherever the catalogues are read in their code page.
        const QByteArray degree = QStringEncoder("GBK").encode(QStringLiteral(u"°"));
        QCOMPARE(degree, QByteArray("\xA1\xE3"));
        // water temperatures 1 and 2, the water temperature limit, the oil temperature / level limit
        QCOMPARE(bytes.count(degree + "C"), 4);
        bytes.replace(degree, "");
        for (char c : bytes) QVERIFY2(uchar(c) < 0x80, "English.lag must read the same in every code page");
        const Config config(dataDir());
        QCOMPARE(TranslationText(config, "English", "Set1.Caption"), QStringLiteral("&Settings..."));
        QCOMPARE(config.reini("English.lag", "Messages", "dl2"),
                 QStringLiteral("Do you really want to exit?"));
    }

    void helpFilesShip_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("mustMention");
        QTest::newRow("Chinese") << "Chinese" << QStringLiteral(u"登录");
        QTest::newRow("English") << "English"
                                 << "log in";
    }
    void helpFilesShip() {
        QFETCH(QString, language);
        QFETCH(QString, mustMention);
        const Config config(dataDir());
        QString text, error;
        QVERIFY2(LoadHelpText(config, language, text, error), qPrintable(error));
        QVERIFY(text.size() > 1500);
        QVERIFY(text.contains("Shift+End"));
        QVERIFY(text.contains(mustMention, Qt::CaseInsensitive));
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }

    void everyTextTheHelpQuotesIsInItsCatalogue_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("Chinese") << "Chinese";
        QTest::newRow("English") << "English";
    }
    void everyTextTheHelpQuotesIsInItsCatalogue() {
        // The help quotes what the operator sees ("Show curves", "Link lost since ..."): each quote
        // must be a text of its own language's catalogue, or the help tells of a text that is not there.
        QFETCH(QString, language);
        const Config config(dataDir());
        QString help, error;
        QVERIFY2(LoadHelpText(config, language, help, error), qPrintable(error));
        const QSet<QString> texts = quotableTexts(config, language);
        QStringList unknown;
        int quotes = 0;
        for (const QString& quoted : helpQuotes(help)) {
            ++quotes;
            // The one fixed message, the same in every language.
            if (quoted == QLatin1String("system.ini Error!")) continue;
            if (!texts.contains(quoted)) unknown << quoted;
        }
        QVERIFY(quotes > 15);
        QVERIFY2(unknown.isEmpty(), qPrintable(language + ".hlp quotes what " + language +
                                               ".lag does not hold: \"" + unknown.join("\", \"") + "\""));
    }

    void theHelpQuotesEveryPageButtonCommandAndWriteVerdict_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("Chinese") << "Chinese";
        QTest::newRow("English") << "English";
    }
    void theHelpQuotesEveryPageButtonCommandAndWriteVerdict() {
        // Where the help tells of a page's buttons, a command or what a write answers, it quotes the
        // words the operator sees, as the catalogue has them: a help that still says "Read" and
        // "Write" for buttons captioned otherwise, or leaves out the verification, fails here.
        QFETCH(QString, language);
        const Config config(dataDir());
        QString help, error;
        QVERIFY2(LoadHelpText(config, language, help, error), qPrintable(error));
        const QStringList quotes = helpQuotes(help);
        static const QRegularExpression mnemonic(QStringLiteral("\\((?:&)?[A-Z]\\)$|&(?=\\S)"));
        QStringList expected;
        for (const char* control : {"btngsm1", "btngsm2", "btngsm3", "btngsm4", "btngsm5", "dport3", "dport4",
                                    "dport5", "dport6", "dport7"})
            expected
                << TranslationText(config, language, QLatin1String(control) + ".Caption").remove(mnemonic);
        for (const char* message : {"pgverified", "pgnoanswer"})
            expected << config.reini(CatalogueFileName(language), "Messages", QLatin1String(message));
        QStringList missing;
        for (const QString& text : expected) {
            QVERIFY2(!text.isEmpty() && text != "0", qPrintable(language + ": no text"));
            if (!quotes.contains(text.trimmed())) missing << text;
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(language + ".hlp does not quote: \"" + missing.join("\", \"") + "\""));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueFiles)
#include "tst_catalogueFiles.moc"
