#include "widgets/Catalogue.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include "config/Config.h"
#include "config/DataFolder.h"

namespace tarsyn::widgets {

namespace {

using TextGetter = std::function<QString()>;
using TextSetter = std::function<void(const QString&)>;
using TextVisitor = std::function<int(const QString& key, const TextGetter&, const TextSetter&)>;

const QString kTranslations = QStringLiteral("Translations");

QString captionKey(const QString& name) { return name + QStringLiteral(".Caption"); }
QString hintKey(const QString& name) { return name + QStringLiteral(".Hint"); }

bool shownIn(const QAction* action, bool (*test)(QObject*)) {
    const QList<QObject*> owners = action->associatedObjects();
    for (QObject* o : owners)
        if (test(o)) return true;
    return false;
}

bool isMenu(QObject* o) { return qobject_cast<QMenu*>(o) || qobject_cast<QMenuBar*>(o); }
bool isToolBar(QObject* o) { return qobject_cast<QToolBar*>(o); }

// The tab widget whose page `w` is (a page sits in the tab widget's internal stack).
QTabWidget* tabWidgetOfPage(QWidget* w) {
    QWidget* stack = w->parentWidget();
    if (!qobject_cast<QStackedWidget*>(stack)) return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs && tabs->indexOf(w) >= 0 ? tabs : nullptr;
}

// Sets one text through `set` when the catalogue has the key and the text differs.
template <typename Get, typename Set>
int apply(const config::IniSection& t, const QString& key, Get get, Set set) {
    const QString current = get();
    const QString wanted = t.value(key, current);
    if (wanted == current) return 0;
    set(wanted);
    return 1;
}

}  // namespace

ControlClasses ControlClassesForWindow(const QString& name) {
    using namespace WindowControls;
    if (name == QLatin1String("TForm1")) return kMainWindow;
    if (name == QLatin1String("TForm2")) return kSettingsWindow;
    if (name == QLatin1String("TForm7")) return kCurvePage;
    if (name == QLatin1String("TForm9")) return kControlBitsPage;
    if (name == QLatin1String("TForm12") || name == QLatin1String("TForm17")) return kTabbedWindow;
    if (name == QLatin1String("TForm16")) return kLoginDialog;
    static const QStringList plain{"Tgsm", "TForm5", "TForm6", "TForm8", "TForm10", "TForm11"};
    if (plain.contains(name)) return kPlainWindow;
    return {};
}

QString CatalogueFileName(const QString& language) { return language + QStringLiteral(".lag"); }

QStringList LanguageCatalogues(const QString& dataDir) { return config::CatalogueNames(dataDir); }

// A control belongs to `window` unless another window (a dialog the window owns) stands between
// them; menus are pop-up windows of their own but part of the window whose bar holds them.
static bool ownedBy(const QObject* o, const QWidget* window) {
    for (const QObject* p = o; p && p != window; p = p->parent()) {
        const auto* w = qobject_cast<const QWidget*>(p);
        if (w && w->isWindow() && !qobject_cast<const QMenu*>(w)) return false;
    }
    return true;
}

// Calls `visit(key, get, set)` for every text of `window` that its classes translate; sums the results.
static int visitTexts(QWidget* window, ControlClasses classes, const TextVisitor& visit) {
    if (!window || classes == ControlClasses()) return 0;
    int changed = 0;
    const QList<QObject*> objects = window->findChildren<QObject*>();
    for (QObject* o : objects) {
        const QString name = o->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;  // Qt's own inner parts
        if (!ownedBy(o, window)) continue;  // a dialog of this window is translated on its own
        const QString caption = captionKey(name);

        if (auto* b = qobject_cast<QCheckBox*>(o)) {
            if (classes & ControlClass::CheckBoxes)
                changed += visit(
                    caption, [b] { return b->text(); }, [b](const QString& s) { b->setText(s); });
        } else if (auto* b = qobject_cast<QRadioButton*>(o)) {
            if (classes & ControlClass::RadioButtons)
                changed += visit(
                    caption, [b] { return b->text(); }, [b](const QString& s) { b->setText(s); });
        } else if (auto* b = qobject_cast<QPushButton*>(o)) {
            if (classes & ControlClass::PushButtons) {
                changed += visit(
                    caption, [b] { return b->text(); }, [b](const QString& s) { b->setText(s); });
                changed += visit(
                    hintKey(name), [b] { return b->toolTip(); }, [b](const QString& s) { b->setToolTip(s); });
            }
        } else if (auto* b = qobject_cast<QToolButton*>(o)) {
            const bool onToolBar = qobject_cast<QToolBar*>(b->parentWidget()) != nullptr;
            if (classes & (onToolBar ? ControlClass::ToolbarButtons : ControlClass::SpeedButtons)) {
                changed += visit(
                    caption, [b] { return b->text(); }, [b](const QString& s) { b->setText(s); });
                // A toolbar button shows a word under a picture: its tooltip says what it does.
                changed += visit(
                    hintKey(name), [b] { return b->toolTip(); }, [b](const QString& s) { b->setToolTip(s); });
            }
        } else if (auto* l = qobject_cast<QLabel*>(o)) {
            if (classes & ControlClass::Labels)
                changed += visit(
                    caption, [l] { return l->text(); }, [l](const QString& s) { l->setText(s); });
        } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
            if (classes & ControlClass::GroupBoxes)
                changed += visit(
                    caption, [g] { return g->title(); }, [g](const QString& s) { g->setTitle(s); });
        } else if (auto* m = qobject_cast<QMenu*>(o)) {
            if (classes & ControlClass::MenuItems)
                changed += visit(
                    caption, [m] { return m->title(); }, [m](const QString& s) { m->setTitle(s); });
        } else if (auto* a = qobject_cast<QAction*>(o)) {
            // An action in both a menu and a toolbar is one object: it is set once.
            if (((classes & ControlClass::MenuItems) && shownIn(a, isMenu)) ||
                ((classes & ControlClass::ToolbarButtons) && shownIn(a, isToolBar)))
                changed += visit(
                    caption, [a] { return a->text(); }, [a](const QString& s) { a->setText(s); });
        } else if (auto* w = qobject_cast<QWidget*>(o)) {
            if (!(classes & ControlClass::TabSheets)) continue;
            if (QTabWidget* tabs = tabWidgetOfPage(w)) {
                const int index = tabs->indexOf(w);
                changed += visit(
                    caption, [tabs, index] { return tabs->tabText(index); },
                    [tabs, index](const QString& s) { tabs->setTabText(index, s); });
            }
        }
    }
    return changed;
}

int SetActiveLanguage(QWidget* window, const config::Config& config, const QString& language,
                      ControlClasses classes) {
    if (!window || classes == ControlClasses()) return 0;
    const config::IniSection t = config.readSection(CatalogueFileName(language), kTranslations);
    if (t.size() == 0) return 0;  // a missing catalogue behaves as an empty one
    return visitTexts(window, classes,
                      [&t](const QString& key, const TextGetter& get, const TextSetter& set) {
                          return apply(t, key, get, set);
                      });
}

QList<QPair<QString, QString>> TranslatableTexts(QWidget* window, ControlClasses classes) {
    QList<QPair<QString, QString>> texts;
    visitTexts(window, classes, [&texts](const QString& key, const TextGetter& get, const TextSetter&) {
        texts.append({key, get()});
        return 0;
    });
    return texts;
}

QString TranslationText(const config::Config& config, const QString& language, const QString& key) {
    return config.reini(CatalogueFileName(language), kTranslations, key);
}

QString HelpFileName(const QString& language) { return language + QStringLiteral(".hlp"); }

bool LoadHelpText(const config::Config& config, const QString& language, QString& text, QString& error) {
    const QString path = QDir::toNativeSeparators(config.filePath(HelpFileName(language)));
    QFile f(config.filePath(HelpFileName(language)));
    if (QFileInfo(f.fileName()).isDir() || !f.open(QIODevice::ReadOnly)) {
        const QString reason =
            QFileInfo(f.fileName()).isDir() ? QStringLiteral("Is a directory") : f.errorString();
        error = QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason);
        return false;
    }
    // Whole file, line by line: both CR LF and LF files show as plain lines.
    QString loaded = config.fromAnsi(f.readAll());
    loaded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text = loaded;
    error.clear();
    return true;
}

}  // namespace tarsyn::widgets
