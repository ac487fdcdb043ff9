// A text kept as what it says: said in either language from the same stored JSON, a caption from
// [Translations] without its colon, nested texts and lists, and a message a catalogue lacks.
#include <QtTest>

#include "config/CatalogueText.h"

using tarsyn::config::Catalogue;
using tarsyn::config::CatalogueText;

namespace {

Catalogue catalogue(const QString& language, const QList<std::pair<const char*, const char*>>& messages,
                    const QList<std::pair<const char*, const char*>>& translations) {
    Catalogue c;
    c.language = language;
    for (const auto& [k, v] : messages) c.messages.insert(QString::fromUtf8(k), QString::fromUtf8(v));
    for (const auto& [k, v] : translations) c.translations.insert(QString::fromUtf8(k), QString::fromUtf8(v));
    return c;
}

const Catalogue& english() {
    static const Catalogue c = catalogue(
        "English", {{"awlow", "Own limit: %1 below %2 (%3)"}, {"pair", "%1: %2 → %3"}, {"jdon", "on"}},
        {{"lbl17.Caption", "Battery voltage:"}, {"lblzs9.Caption", "Emergency stop"}});
    return c;
}
const Catalogue& chinese() {
    static const Catalogue c = catalogue(
        "Chinese", {{"awlow", "自设限值: %1 低于 %2 (%3)"}, {"pair", "%1：%2 → %3"}, {"jdon", "开"}},
        {{"lbl17.Caption", "电池电压："}, {"lblzs9.Caption", "紧急停机"}});
    return c;
}

}  // namespace

class TestCatalogueText : public QObject {
    Q_OBJECT
private slots:
    void saidInEitherLanguageFromTheStoredText_data() {
        QTest::addColumn<QString>("json");  // as stored
        QTest::addColumn<QString>("inEnglish");
        QTest::addColumn<QString>("inChinese");
        QTest::newRow("message with a caption and values")
            << CatalogueText("awlow").caption("lbl17.Caption", "pnl17").arg("23").arg("22.8").toJsonText()
            << "Own limit: Battery voltage below 23 (22.8)"
            << QString::fromUtf8("自设限值: 电池电压 低于 23 (22.8)");
        QTest::newRow("caption alone") << CatalogueText().caption("lblzs9.Caption", "zs9").toJsonText()
                                       << "Emergency stop" << QString::fromUtf8("紧急停机");
        QTest::newRow("caption missing: the fallback")
            << CatalogueText().caption("lblzs99.Caption", "zs99").toJsonText() << "zs99"
            << "zs99";
        QTest::newRow("a word and a nested list")
            << CatalogueText("pair")
                   .caption("lblzs9.Caption", "zs9")
                   .word("jdon")
                   .list({CatalogueText().arg("a"), CatalogueText("pair").arg("b").arg("1").arg("2")})
                   .toJsonText()
            << "Emergency stop: on → a; b: 1 → 2" << QString::fromUtf8("紧急停机：开 → a; b：1 → 2");
        QTest::newRow("an argument holding a marker stays as typed")
            << CatalogueText("pair").arg("%2").arg("%3 %%1").arg("x").toJsonText() << "%2: %3 %%1 → x"
            << QString::fromUtf8("%2：%3 %%1 → x");
    }
    void saidInEitherLanguageFromTheStoredText() {
        QFETCH(QString, json);
        QFETCH(QString, inEnglish);
        QFETCH(QString, inChinese);
        const auto text = CatalogueText::fromJsonText(json);
        QVERIFY(text.has_value());
        QCOMPARE(text->render(english()), inEnglish);
        QCOMPARE(text->render(chinese()), inChinese);
    }

    void aMessageTheCatalogueLacksGivesNoText() {
        // The caller then shows what it has (the journal: the detail as recorded).
        QVERIFY(CatalogueText("jdnew").arg("1").render(english()).isNull());
        QVERIFY(CatalogueText().word("jdnew").render(english()).isNull());
        QVERIFY(
            CatalogueText("pair").text(CatalogueText("jdnew")).arg("1").arg("2").render(english()).isNull());
        QVERIFY(!CatalogueText().arg("x").render(Catalogue{}).isNull());
    }

    void extraMembersTravelWithTheText() {
        QJsonObject whole;
        const QString json = CatalogueText().arg("x").toJsonText({{"o", "dport3"}});
        QVERIFY(CatalogueText::fromJsonText(json, &whole).has_value());
        QCOMPARE(whole.value("o").toString(), QStringLiteral("dport3"));
    }

    void foreignTextsAreNotTexts_data() {
        QTest::addColumn<QString>("json");
        QTest::newRow("empty") << "";
        QTest::newRow("not JSON") << "zs9 Emergency stop";
        QTest::newRow("an array") << "[1,2]";
        QTest::newRow("no arguments") << "{\"k\":\"awlow\"}";
        QTest::newRow("key not a text") << "{\"k\":3,\"a\":[]}";
    }
    void foreignTextsAreNotTexts() {
        QFETCH(QString, json);
        QVERIFY(!CatalogueText::fromJsonText(json).has_value());
    }
};

QTEST_GUILESS_MAIN(TestCatalogueText)
#include "tst_catalogueText.moc"
