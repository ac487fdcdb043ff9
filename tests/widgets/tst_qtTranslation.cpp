// Qt's own texts (message box buttons) in the language of the catalogue in effect.
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "widgets/QtTranslation.h"

using tarsyn::widgets::QtTranslation;

namespace {

QString yesText() {
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
}

QString okText() {
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    return buttons.button(QDialogButtonBox::Ok)->text() + '|' +
           buttons.button(QDialogButtonBox::Cancel)->text();
}

}  // namespace

class TestQtTranslation : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm"))
            QSKIP("Qt's Chinese translation is not installed (Debian package qt6-translations-l10n)");
    }

    void localeOfCatalogueNames_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("locale");
        QTest::newRow("Chinese") << "Chinese"
                                 << "zh_CN";
        QTest::newRow("any case") << "chinese"
                                  << "zh_CN";
        QTest::newRow("English") << "English"
                                 << "en_US";
        QTest::newRow("locale name") << "zh_TW"
                                     << "zh_TW";
        QTest::newRow("no language") << "Klingonese"
                                     << "C";
        QTest::newRow("empty") << ""
                               << "C";
    }
    void localeOfCatalogueNames() {
        QFETCH(QString, language);
        QFETCH(QString, locale);
        QCOMPARE(QtTranslation::localeFor(language).name(), locale);
    }

    void boxButtonsFollowTheLanguage() {
        const QString englishYes = yesText();
        const QString englishOk = okText();
        QCOMPARE(englishYes, QString("&Yes"));
        {
            QtTranslation qt;
            QVERIFY(qt.apply("Chinese"));
            QVERIFY2(yesText().contains(QString::fromUtf8("是")), qPrintable(yesText()));
            QVERIFY2(
                okText().contains(QString::fromUtf8("确定")) && okText().contains(QString::fromUtf8("取消")),
                qPrintable(okText()));
            // The hot key's next language: back to English, and to Chinese again.
            qt.apply("English");
            QCOMPARE(yesText(), englishYes);
            QCOMPARE(okText(), englishOk);
            QVERIFY(qt.apply("Chinese"));
            QVERIFY(yesText().contains(QString::fromUtf8("是")));
            // A catalogue that names no language Qt knows: Qt's English.
            QVERIFY(!qt.apply("Klingonese"));
            QCOMPARE(yesText(), englishYes);
            QVERIFY(qt.apply("Chinese"));
        }
        QCOMPARE(yesText(), englishYes);  // gone with its owner
    }
};

QTEST_MAIN(TestQtTranslation)
#include "tst_qtTranslation.moc"
