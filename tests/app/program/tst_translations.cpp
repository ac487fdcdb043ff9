// Every window of the assembled program speaks both shipped languages: no control shows a caption that
// the catalogues do not name, English leaves no Chinese text behind, and one hot key press re-labels
// every window at once.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/Program.h"
#include "config/Config.h"
#include "widgets/Catalogue.h"

using namespace tarsyn;

namespace {

bool makeDataFolder(const QTemporaryDir& data, const char* language) {
    const QString source = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/");
    for (const char* f : {"English.lag", "Chinese.lag", "English.hlp", "Chinese.hlp"})
        if (!QFile::copy(source + QLatin1String(f), data.filePath(QLatin1String(f)))) return false;
    config::Config(data.path()).wrini("system.ini", "Set", "language", QLatin1String(language));
    return true;
}

bool hasLetter(const QString& s) {
    for (const QChar c : s)
        if (c.isLetter()) return true;
    return false;
}

bool hasHan(const QString& s) {
    for (const QChar c : s)
        if ((c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) || (c.unicode() >= 0x3400 && c.unicode() <= 0x4DBF))
            return true;
    return false;
}

/// Every text a user can read on a window: captions of every kind, tab texts, menu entries, list items.
QStringList visibleTexts(QWidget* window) {
    QStringList texts;
    auto add = [&texts, window](const QObject* o, const QString& text) {
        if (!text.isEmpty()) texts << window->objectName() + QLatin1Char('/') + o->objectName() + QLatin1String(": ") + text;
    };
    for (QLabel* l : window->findChildren<QLabel*>()) add(l, l->text());
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        add(b, b->text());
        add(b, b->toolTip());
    }
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) add(g, g->title());
    for (QTabWidget* t : window->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i) add(t, t->tabText(i));
    for (QMenu* m : window->findChildren<QMenu*>()) add(m, m->title());
    for (QAction* a : window->findChildren<QAction*>()) add(a, a->text());
    for (QComboBox* c : window->findChildren<QComboBox*>())
        for (int i = 0; i < c->count(); ++i) add(c, c->itemText(i));
    return texts;
}

struct Assembled {
    explicit Assembled(const char* language) {
        ok = data.isValid() && makeDataFolder(data, language);
        if (ok) program = std::make_unique<app::Program>(data.path(), QByteArrayLiteral("GBK"), &prompter);
    }
    QList<QWidget*> windows() const { return QList<QWidget*>{program->mainWindow()} + program->secondaryWindows(); }
    QTemporaryDir data;
    bool ok = false;
    test::ScriptedPrompter prompter;
    std::unique_ptr<app::Program> program;
};

}  // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void everyCaptionIsNamedByBothCatalogues();
    void englishLeavesNoChineseText();
    void oneHotKeyPressRelabelsEveryWindow();
};

void TestTranslations::everyCaptionIsNamedByBothCatalogues() {
    Assembled a("English");
    QVERIFY(a.ok);
    const config::Config config(a.data.path());
    QStringList missing;
    for (QWidget* w : a.windows()) {
        const widgets::ControlClasses classes = widgets::ControlClassesForWindow(w->objectName());
        for (const auto& [key, text] : widgets::TranslatableTexts(w, classes)) {
            if (!key.endsWith(QLatin1String(".Caption")) || !hasLetter(text)) continue;  // value panels show digits
            if (key == QLatin1String("lblbt1.Caption")) continue;  // the mode label shows the "lxsb"/"gdsb" message
            for (const char* language : {"English", "Chinese"})
                if (!config.readSection(QLatin1String(language) + QLatin1String(".lag"), QStringLiteral("Translations"))
                         .contains(key))
                    missing << QStringLiteral("%1 %2 (\"%3\") in %4").arg(w->objectName(), key, text, QLatin1String(language));
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
}

void TestTranslations::englishLeavesNoChineseText() {
    Assembled a("English");
    QVERIFY(a.ok);
    QStringList chinese;
    for (QWidget* w : a.windows())
        for (const QString& text : visibleTexts(w))
            if (hasHan(text)) chinese << text;
    QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(QLatin1Char('\n'))));
}

void TestTranslations::oneHotKeyPressRelabelsEveryWindow() {
    // Catalogues in name order: Chinese, English. The counter starts at 0, so from a stored English the
    // first press selects English again and the second Chinese.
    Assembled a("English");
    QVERIFY(a.ok);
    a.program->advanceLanguage();
    a.program->advanceLanguage();
    const config::IniSection chinese =
        config::Config(a.data.path()).readSection(QStringLiteral("Chinese.lag"), QStringLiteral("Translations"));
    QStringList stale;
    int checked = 0;
    for (QWidget* w : a.windows()) {
        if (w->objectName() == QLatin1String("TForm16")) continue;  // the login dialog keeps its start language
        const widgets::ControlClasses classes = widgets::ControlClassesForWindow(w->objectName());
        for (const auto& [key, text] : widgets::TranslatableTexts(w, classes)) {
            if (!chinese.contains(key)) continue;
            ++checked;
            if (text != chinese.value(key)) stale << QStringLiteral("%1 %2: \"%3\"").arg(w->objectName(), key, text);
        }
    }
    QVERIFY(checked > 100);
    QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
