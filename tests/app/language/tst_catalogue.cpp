#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include "config/Config.h"
#include "widgets/Catalogue.h"

using namespace tarsyn::widgets;
using namespace tarsyn::config;

Q_DECLARE_METATYPE(tarsyn::widgets::ControlClasses)

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// One control of every handled kind, each named like the program's controls and with a design text.
class SampleWindow : public QWidget {
public:
    SampleWindow() {
        setObjectName("TFormX");
        auto* layout = new QVBoxLayout(this);
        auto* bar = new QMenuBar(this);
        auto* file = bar->addMenu("File");
        file->setObjectName("File1");
        auto* set = file->addAction("Settings");
        set->setObjectName("Set1");
        auto* shared = new QAction("Both", this);
        shared->setObjectName("both1");
        file->addAction(shared);
        auto* tools = new QToolBar(this);
        auto* toolAct = tools->addAction("Tool");
        toolAct->setObjectName("dport20");
        tools->addAction(shared);
        auto* toolBtn = new QToolButton(tools);
        toolBtn->setObjectName("tbtn1");
        toolBtn->setText("ToolButton");
        tools->addWidget(toolBtn);
        layout->addWidget(tools);
        label = new QLabel("Label", this);
        label->setObjectName("lbl1");
        layout->addWidget(label);
        check = new QCheckBox("Check", this);
        check->setObjectName("chk1");
        layout->addWidget(check);
        radio = new QRadioButton("Radio", this);
        radio->setObjectName("rb1");
        layout->addWidget(radio);
        button = new QPushButton("Button", this);
        button->setObjectName("btn1");
        button->setToolTip("ButtonHint");
        layout->addWidget(button);
        group = new QGroupBox("Group", this);
        group->setObjectName("grp1");
        layout->addWidget(group);
        tabs = new QTabWidget(this);
        auto* page = new QWidget;
        page->setObjectName("tab1");
        tabs->addTab(page, "Tab");
        layout->addWidget(tabs);
        speed = new QToolButton(this);
        speed->setObjectName("sbtn1");
        speed->setText("Speed");
        layout->addWidget(speed);
        menu = file;
        setAction = set;
        bothAction = shared;
        toolAction = toolAct;
        toolButton = toolBtn;
    }

    // name -> current text, for every translatable text of the window
    QMap<QString, QString> texts() const {
        return {
            {"File1", menu->title()},         {"Set1", setAction->text()},   {"both1", bothAction->text()},
            {"dport20", toolAction->text()},  {"tbtn1", toolButton->text()}, {"lbl1", label->text()},
            {"chk1", check->text()},          {"rb1", radio->text()},        {"btn1", button->text()},
            {"btn1.Hint", button->toolTip()}, {"grp1", group->title()},      {"tab1", tabs->tabText(0)},
            {"sbtn1", speed->text()}};
    }

    QMenu* menu;
    QAction* setAction;
    QAction* bothAction;
    QAction* toolAction;
    QToolButton* toolButton;
    QLabel* label;
    QCheckBox* check;
    QRadioButton* radio;
    QPushButton* button;
    QGroupBox* group;
    QTabWidget* tabs;
    QToolButton* speed;
};

const QByteArray kFullCatalogue =
    "[Translations]\r\n"
    "File1.Caption=T-File1\r\nSet1.Caption=T-Set1\r\nboth1.Caption=T-both1\r\ndport20.Caption=T-dport20\r\n"
    "tbtn1.Caption=T-tbtn1\r\nlbl1.Caption=T-lbl1\r\nchk1.Caption=T-chk1\r\nrb1.Caption=T-rb1\r\n"
    "btn1.Caption=T-btn1\r\nbtn1.Hint=T-btn1.Hint\r\ngrp1.Caption=T-grp1\r\ntab1.Caption=T-tab1\r\n"
    "sbtn1.Caption=T-sbtn1\r\n"
    "[Messages]\r\nlbl1.Caption=wrong section\r\n";

}  // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void catalogueList() {
        QTemporaryDir dir;
        for (const char* name : {"English.lag", "chinese.lag", "Bravo.lag", ".hidden.lag", "upper.LAG",
                                 "notes.txt", "English.hlp"})
            writeFile(dir.filePath(name), "[Messages]\r\n");
        QVERIFY(QDir(dir.path()).mkdir("folder.lag"));
        QCOMPARE(LanguageCatalogues(dir.path()), (QStringList{".hidden", "Bravo", "chinese", "English"}));
        QCOMPARE(LanguageCatalogues(dir.filePath("missing")), QStringList());
    }

    void controlClassesPerWindow_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<ControlClasses>("classes");
        using namespace WindowControls;
        QTest::newRow("main") << "TForm1" << kMainWindow;
        QTest::newRow("settings") << "TForm2" << kSettingsWindow;
        QTest::newRow("curves page") << "TForm7" << kCurvePage;
        QTest::newRow("control bits") << "TForm9" << kControlBitsPage;
        QTest::newRow("print") << "TForm12" << kTabbedWindow;
        QTest::newRow("alarm history") << "TForm17" << kTabbedWindow;
        QTest::newRow("sms") << "Tgsm" << kPlainWindow;
        QTest::newRow("port dialog") << "TForm11" << kPlainWindow;
        QTest::newRow("login") << "TForm16" << kLoginDialog;
        QTest::newRow("about") << "TForm3" << ControlClasses();
        QTest::newRow("help") << "TForm13" << ControlClasses();
    }
    void controlClassesPerWindow() {
        QFETCH(QString, window);
        QFETCH(ControlClasses, classes);
        QCOMPARE(ControlClassesForWindow(window), classes);
    }

    void classesDecideWhatChanges_data() {
        QTest::addColumn<ControlClasses>("classes");
        QTest::addColumn<QStringList>("changed");
        using namespace WindowControls;
        QTest::newRow("main window") << kMainWindow
                                     << QStringList{"File1", "Set1", "both1",     "dport20", "tbtn1", "lbl1",
                                                    "chk1",  "btn1", "btn1.Hint", "grp1",    "tab1"};
        QTest::newRow("settings window")
            << kSettingsWindow
            << QStringList{"File1", "Set1", "both1", "lbl1", "chk1", "btn1", "btn1.Hint", "grp1", "sbtn1"};
        QTest::newRow("control bits page")
            << kControlBitsPage << QStringList{"lbl1", "rb1", "btn1", "btn1.Hint", "grp1"};
        QTest::newRow("plain window") << kPlainWindow << QStringList{"lbl1", "btn1", "btn1.Hint"};
        QTest::newRow("tabbed window")
            << kTabbedWindow << QStringList{"lbl1", "btn1", "btn1.Hint", "grp1", "tab1"};
        QTest::newRow("toolbar only")
            << ControlClasses(ControlClass::ToolbarButtons) << QStringList{"both1", "dport20", "tbtn1"};
        QTest::newRow("nothing") << ControlClasses() << QStringList{};
    }
    void classesDecideWhatChanges() {
        QFETCH(ControlClasses, classes);
        QFETCH(QStringList, changed);
        writeFile(m_dir.filePath("Full.lag"), kFullCatalogue);
        const Config config(m_dir.path());
        SampleWindow w;
        const QMap<QString, QString> before = w.texts();
        QCOMPARE(SetActiveLanguage(&w, config, "Full", classes), changed.size());
        const QMap<QString, QString> after = w.texts();
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const QString expected = changed.contains(it.key()) ? "T-" + it.key() : it.value();
            QCOMPARE(after.value(it.key()), expected);
        }
    }

    void emptyValueEmptiesMissingKeyKeeps() {
        writeFile(m_dir.filePath("Sparse.lag"),
                  "[Translations]\r\nlbl1.Caption=\r\nbtn1.Hint=\r\n grp1.caption = Spaced \r\n");
        const Config config(m_dir.path());
        SampleWindow w;
        SetActiveLanguage(&w, config, "Sparse", WindowControls::kMainWindow);
        QCOMPARE(w.label->text(), QString());                  // present but empty
        QCOMPARE(w.button->toolTip(), QString());              // present but empty
        QCOMPARE(w.button->text(), QStringLiteral("Button"));  // missing: kept
        QCOMPARE(w.group->title(), QStringLiteral("Spaced"));  // names match without case or blanks
        QCOMPARE(w.check->text(), QStringLiteral("Check"));
    }

    void missingCatalogueKeepsEverything() {
        const Config config(m_dir.path());
        SampleWindow w;
        const auto before = w.texts();
        QCOMPARE(SetActiveLanguage(&w, config, "Nowhere", WindowControls::kMainWindow), 0);
        QCOMPARE(w.texts(), before);
        QCOMPARE(TranslationText(config, "Nowhere", "lbl11.Caption"), QStringLiteral("0"));
    }

    void oneEntryTranslatesTheButtonOfEveryPage() {
        writeFile(m_dir.filePath("Pages.lag"),
                  "[Translations]\r\nbtngsm1.Caption=Read\r\nbtngsm1.Hint=Read page\r\n");
        const Config config(m_dir.path());
        QWidget delays, limits;
        delays.setObjectName("TForm6");
        limits.setObjectName("TForm10");
        auto* a = new QPushButton("读取", &delays);
        a->setObjectName("btngsm1");
        auto* b = new QPushButton("读取", &limits);
        b->setObjectName("btngsm1");
        auto* other = new QPushButton("保存", &limits);
        other->setObjectName("btngsm2");
        SetActiveLanguage(&delays, config, "Pages", ControlClassesForWindow("TForm6"));
        SetActiveLanguage(&limits, config, "Pages", ControlClassesForWindow("TForm10"));
        QCOMPARE(a->text(), QStringLiteral("Read"));
        QCOMPARE(b->text(), QStringLiteral("Read"));
        QCOMPARE(b->toolTip(), QStringLiteral("Read page"));
        QCOMPARE(other->text(), QStringLiteral(u"保存"));
    }

    // The program's dialogs are children of the main window; translating the main window must not
    // reach into them (the login dialog, for one, is translated only when it is created).
    void ownedDialogsAreLeftToThemselves() {
        writeFile(m_dir.filePath("Owned.lag"), kFullCatalogue);
        const Config config(m_dir.path());
        SampleWindow w;
        auto* dialog = new QDialog(&w);
        dialog->setObjectName("TForm16");
        auto* inner = new QLabel("Label", dialog);
        inner->setObjectName("lbl1");
        auto* innerButton = new QPushButton("Button", dialog);
        innerButton->setObjectName("btn1");
        SetActiveLanguage(&w, config, "Owned", WindowControls::kMainWindow);
        QCOMPARE(w.label->text(), QStringLiteral("T-lbl1"));
        QCOMPARE(w.menu->title(), QStringLiteral("T-File1"));  // a menu is a window of its own, yet ours
        QCOMPARE(inner->text(), QStringLiteral("Label"));
        QCOMPARE(innerButton->text(), QStringLiteral("Button"));
        SetActiveLanguage(dialog, config, "Owned", ControlClassesForWindow("TForm16"));
        QCOMPARE(inner->text(), QStringLiteral("T-lbl1"));
    }

    void gbkCatalogueRoundTripsChinese() {
        QStringEncoder gbk("GBK");
        const QString caption = QStringLiteral(u"系统设置(&S)");
        writeFile(m_dir.filePath("Zh.lag"),
                  "[Translations]\r\nSet1.Caption=" + gbk.encode(caption) +
                      "\r\n[Messages]\r\ndl2=" + gbk.encode(QStringLiteral(u"确定退出系统吗？")) + "\r\n");
        const Config config(m_dir.path());
        SampleWindow w;
        SetActiveLanguage(&w, config, "Zh", WindowControls::kMainWindow);
        QCOMPARE(w.setAction->text(), caption);
        QCOMPARE(config.reini("Zh.lag", "Messages", "dl2"), QStringLiteral(u"确定退出系统吗？"));
    }

    void helpText() {
        QStringEncoder gbk("GBK");
        writeFile(m_dir.filePath("Zh.hlp"), gbk.encode(QStringLiteral(u"帮助\r\n第二行\r\n")));
        const Config config(m_dir.path());
        QString text = "help", error;
        QVERIFY(LoadHelpText(config, "Zh", text, error));
        QCOMPARE(text, QStringLiteral(u"帮助\n第二行\n"));
        QVERIFY(error.isEmpty());

        text = "help";
        QVERIFY(!LoadHelpText(config, "Klingon", text, error));
        QCOMPARE(text, QStringLiteral("help"));
        QVERIFY2(error.startsWith(QStringLiteral("Cannot open file \"%1\". ")
                                      .arg(QDir::toNativeSeparators(m_dir.filePath("Klingon.hlp")))),
                 qPrintable(error));
        QVERIFY(error.size() >
                QStringLiteral("Cannot open file \"%1\". ").arg(m_dir.filePath("Klingon.hlp")).size());
    }
};

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
