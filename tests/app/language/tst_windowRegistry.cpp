// The composition root's list of windows: the hot key re-labels them in creation order, the login
// dialog excepted, and the tray icon counts every window after the main window.
#include <QtTest>
#include <memory>

#include "app/LanguageSwitcher.h"
#include "app/WindowRegistry.h"
#include "config/LiveSettings.h"

using namespace tarsyn::app;
using namespace tarsyn::config;

class TestWindowRegistry : public QObject {
    Q_OBJECT
private slots:
    void oneListDrivesHotKeyAndTray() {
        // Made in the program's order: main window, settings, about, login (left alone by the hot key),
        // alarm history.
        const QStringList names{"TForm1", "TForm2", "TForm3", "TForm16", "TForm17"};
        std::vector<std::unique_ptr<QWidget>> widgets;
        WindowRegistry registry;
        QStringList relabelled;
        for (const QString& name : names) {
            widgets.push_back(std::make_unique<QWidget>());
            widgets.back()->setObjectName(name);
            WindowRegistry::Relabel relabel;
            if (name != "TForm16")
                relabel = [&relabelled, name](const QString& language) {
                    relabelled << name + ":" + language;
                };
            registry.add(widgets.back().get(), name.mid(1) + "caption", relabel);
        }

        QList<QWidget*> secondary;
        for (std::size_t i = 1; i < widgets.size(); ++i) secondary << widgets[i].get();
        QCOMPARE(registry.secondaryWindows(), secondary);
        QCOMPARE(registry.titleKey(widgets[3].get()), QString("Form16caption"));
        QWidget stranger;
        QCOMPARE(registry.titleKey(&stranger), QString());

        LiveSettings settings;
        settings.setLanguage("A");
        LanguageSwitcher switcher(settings, {"A", "B"});
        registry.registerRelabelling(switcher);
        QCOMPARE(switcher.registeredNames(), (QStringList{"TForm1", "TForm2", "TForm3", "TForm17"}));
        switcher.advance();
        QCOMPARE(relabelled, (QStringList{"TForm1:B", "TForm2:B", "TForm3:B", "TForm17:B"}));
    }
};

QTEST_MAIN(TestWindowRegistry)
#include "tst_windowRegistry.moc"
