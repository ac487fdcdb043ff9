// Every window of the assembled program speaks both shipped languages: no control shows a caption that
// the catalogues do not name, English leaves no Chinese text behind, one hot key press re-labels and
// re-titles every window at once, and every message the program can show exists in both catalogues in
// the catalogue's own language.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "ScriptedPrompter.h"
#include "app/Program.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
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

/// Labels that show data or a message rather than a caption of their own: the connection mode
/// ("lxsb"/"gdsb"), the link state, last reading and alarm count of the status strip, the curves
/// window's port name and units.
const QStringList kDataLabels{"lblbt1.Caption", "lbllink.Caption", "lbllast.Caption", "lblalarms.Caption",
                              "lblckh.Caption", "lbldw.Caption",   "lbldw1.Caption"};

bool hasLetter(const QString& s) {
    for (const QChar c : s)
        if (c.isLetter()) return true;
    return false;
}

bool hasHan(const QString& s) {
    for (const QChar c : s)
        if ((c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) ||
            (c.unicode() >= 0x3400 && c.unicode() <= 0x4DBF))
            return true;
    return false;
}

/// Every text a user can read on a window: captions of every kind, tab texts, menu entries, list items.
QStringList visibleTexts(QWidget* window) {
    QStringList texts;
    auto add = [&texts, window](const QObject* o, const QString& text) {
        if (!text.isEmpty())
            texts << window->objectName() + QLatin1Char('/') + o->objectName() + QLatin1String(": ") + text;
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
    QList<QWidget*> windows() const {
        return QList<QWidget*>{program->mainWindow()} + program->secondaryWindows();
    }
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
    void windowsListedInCreationOrder();
    void everyMessageSpeaksBothLanguages();
    void noTwoMenusShareAnAltKey();
    void picturesOfEveryWindow();
};

void TestTranslations::everyCaptionIsNamedByBothCatalogues() {
    Assembled a("English");
    QVERIFY(a.ok);
    const config::Config config(a.data.path());
    QStringList missing;
    for (QWidget* w : a.windows()) {
        const widgets::ControlClasses classes = widgets::ControlClassesForWindow(w->objectName());
        for (const auto& [key, text] : widgets::TranslatableTexts(w, classes)) {
            if (!key.endsWith(QLatin1String(".Caption")) || !hasLetter(text))
                continue;  // value panels show digits
            if (kDataLabels.contains(key)) continue;
            for (const char* language : {"English", "Chinese"})
                if (!config
                         .readSection(QLatin1String(language) + QLatin1String(".lag"),
                                      QStringLiteral("Translations"))
                         .contains(key))
                    missing << QStringLiteral("%1 %2 (\"%3\") in %4")
                                   .arg(w->objectName(), key, text, QLatin1String(language));
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
    // Catalogues in name order: Chinese, English; from the stored English the first press selects Chinese.
    Assembled a("English");
    QVERIFY(a.ok);
    a.program->advanceLanguage();
    const config::IniSection chinese =
        config::Config(a.data.path())
            .readSection(QStringLiteral("Chinese.lag"), QStringLiteral("Translations"));
    QStringList stale;
    int checked = 0;
    for (QWidget* w : a.windows()) {
        if (w->objectName() == QLatin1String("TForm16"))
            continue;  // the login dialog keeps its start language
        const widgets::ControlClasses classes = widgets::ControlClassesForWindow(w->objectName());
        for (const auto& [key, text] : widgets::TranslatableTexts(w, classes)) {
            if (!chinese.contains(key)) continue;
            ++checked;
            if (text != chinese.value(key))
                stale << QStringLiteral("%1 %2: \"%3\"").arg(w->objectName(), key, text);
        }
    }
    QVERIFY(checked > 100);
    // Every window's title, open or not, in the new language (the login dialog keeps its own).
    const config::IniSection titles =
        config::Config(a.data.path()).readSection(QStringLiteral("Chinese.lag"), QStringLiteral("Messages"));
    for (QWidget* w : a.windows()) {
        const QString name = w->objectName();
        if (name == QLatin1String("TForm16")) continue;
        const QString key = name == QLatin1String("Tgsm") ? QStringLiteral("gsmcaption")
                                                          : name.mid(1) + QStringLiteral("caption");
        QVERIFY2(titles.contains(key), qPrintable(key));
        // A page may add the controller's name to its title.
        if (!w->windowTitle().contains(titles.value(key)))
            stale << QStringLiteral("%1 title \"%2\", not \"%3\"")
                         .arg(name, w->windowTitle(), titles.value(key));
    }
    QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QLatin1Char('\n'))));
}

void TestTranslations::windowsListedInCreationOrder() {
    // The fifteen windows in their fixed order, then the event journal, the watch limits, the fleet
    // overview and the link diagnostics; the tray icon ignores clicks while any but the first is visible.
    Assembled a("English");
    QVERIFY(a.ok);
    QStringList names;
    for (QWidget* w : a.windows()) names << w->objectName();
    QCOMPARE(names, (QStringList{"TForm1", "TForm2", "TForm3", "Tgsm", "TForm5", "TForm6", "TForm7", "TForm8",
                                 "TForm9", "TForm10", "TForm11", "TForm12", "TForm13", "TForm16", "TForm17",
                                 "TForm18", "TForm19", "TForm20", "TForm21"}));
}

namespace {

/// The catalogue's message keys, and the keys the program's sources ask for by name.
QStringList messageKeys(const config::Config& config) {
    QStringList keys;
    for (const char* language : {"English", "Chinese"}) {
        QFile f(config.filePath(QLatin1String(language) + QLatin1String(".lag")));
        if (!f.open(QIODevice::ReadOnly)) continue;
        bool messages = false;
        for (const QString& line : config.fromAnsi(f.readAll()).split(QStringLiteral("\r\n"))) {
            if (line.startsWith(QLatin1Char('['))) messages = line.trimmed() == QLatin1String("[Messages]");
            const int eq = line.indexOf(QLatin1Char('='));
            if (messages && eq > 0 && !keys.contains(line.left(eq).trimmed()))
                keys << line.left(eq).trimmed();
        }
    }
    // Every lookup of a message by a fixed key in the sources: messages.text("…"), message("…"),
    // showMessage("…"), title("…").
    static const QRegularExpression lookup(
        QStringLiteral("\\b(?:messages\\.text|m_messages\\.text|message|showMessage|title)\\(\\s*(?:"
                       "QStringLiteral|QLatin1String)?"
                       "\\(?\\s*\"([A-Za-z][A-Za-z0-9_-]+)\""));
    QDirIterator it(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString source = QString::fromUtf8(f.readAll());
        for (QRegularExpressionMatchIterator m = lookup.globalMatch(source); m.hasNext();) {
            const QString key = m.next().captured(1);
            if (key != QLatin1String("jk") && !keys.contains(key)) keys << key;  // "jk" + kind is a prefix
        }
    }
    return keys;
}

}  // namespace

void TestTranslations::everyMessageSpeaksBothLanguages() {
    QTemporaryDir data;
    QVERIFY(makeDataFolder(data, "English"));
    const config::Config config(data.path());
    const QStringList keys = messageKeys(config);
    QVERIFY(keys.size() > 100);
    config::LiveSettings settings;
    const config::Messages messages(config, settings);
    // Texts that are the same in every language: the program's version.
    const QStringList neutral{QStringLiteral("dl14")};
    QStringList wrong;
    for (const QString& key : keys) {
        settings.setLanguage(QStringLiteral("English"));
        const QString english = messages.text(key);
        settings.setLanguage(QStringLiteral("Chinese"));
        const QString chinese = messages.text(key);
        if (english == QLatin1String("0") || english.trimmed().isEmpty())
            wrong << key + QStringLiteral(": none in English");
        if (chinese == QLatin1String("0") || chinese.trimmed().isEmpty())
            wrong << key + QStringLiteral(": none in Chinese");
        if (hasHan(english)) wrong << QStringLiteral("%1: Chinese in English: %2").arg(key, english);
        if (!neutral.contains(key) && hasLetter(chinese) && !hasHan(chinese))
            wrong << QStringLiteral("%1: not Chinese in Chinese: %2").arg(key, chinese);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

void TestTranslations::noTwoMenusShareAnAltKey() {
    // Alt+letter opens a menu of the bar, or runs an entry of the open menu: within each, one letter
    // one target, in both languages.
    for (const char* language : {"English", "Chinese"}) {
        Assembled a(language);
        QVERIFY(a.ok);
        QMenuBar* bar = a.program->mainWindow()->findChild<QMenuBar*>();
        QVERIFY(bar);
        QList<QList<QAction*>> groups{bar->actions()};
        for (QAction* top : bar->actions())
            if (top->menu()) groups << top->menu()->actions();
        for (const QList<QAction*>& group : groups) {
            QHash<QChar, QString> seen;
            for (QAction* action : group) {
                const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
                if (mnemonic.isEmpty()) continue;
                const QChar key = QChar(int(mnemonic[0].key()));
                QVERIFY2(!seen.contains(key),
                         qPrintable(QStringLiteral("%1: \"%2\" and \"%3\" share Alt+%4")
                                        .arg(QLatin1String(language), seen.value(key), action->text(), key)));
                seen.insert(key, action->text());
            }
        }
    }
}

void TestTranslations::picturesOfEveryWindow() {
    // For looking at every window by eye (TARSYN_SCREENSHOT_DIR set, a real or virtual display): each
    // window of each language at its opening size, as a PNG.
    const QString shots = qEnvironmentVariable("TARSYN_SCREENSHOT_DIR");
    if (shots.isEmpty()) QSKIP("TARSYN_SCREENSHOT_DIR not set");
    for (const char* language : {"English", "Chinese"}) {
        Assembled a(language);
        QVERIFY(a.ok);
        for (QWidget* w : a.windows()) {
            if (w->objectName() != QLatin1String("TForm1"))
                w->adjustSize();
            else
                w->resize(1024, 768 - 70);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            w->grab().save(
                QStringLiteral("%1/%2-%3.png").arg(shots, QLatin1String(language), w->objectName()));
            if (w->width() > 1024 || w->height() > 768)
                qWarning("%s %s is %dx%d", language, qPrintable(w->objectName()), w->width(), w->height());
            w->hide();
        }
    }
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
