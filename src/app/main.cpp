// Program entry: data folder, settings, the serial port and the main window with its poll cycle.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include "app/MainWindow.h"
#include "app/WidgetPrompter.h"
#include "app/core/Config.h"
#include "app/core/LiveSettings.h"
#include "link/Clock.h"
#include "link/QtSerialPort.h"

using namespace tarsyn;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarsyn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarsyn"));

    // TODO: switch to the shared data-folder helper once it exists; until then --data-dir is read here.
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Watches and configures generator-set controllers."));
    options.addHelpOption();
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"), QStringLiteral("Folder of system.ini and the catalogues (default: beside the program)."),
        QStringLiteral("DIR"));
    options.addOption(dataDirOption);
    options.process(application);
    const QString dataDir = options.isSet(dataDirOption) ? QDir(options.value(dataDirOption)).absolutePath()
                                                         : QCoreApplication::applicationDirPath();

    app::Config config(dataDir);
    app::LiveSettings settings;
    settings.load(config);
    app::Messages messages(config, settings);
    link::QtSerialPort port;
    link::ThreadSleeper sleeper;
    link::SystemClock clock;
    app::WidgetPrompter prompter;

    app::MainWindow window(config, settings, messages, port, sleeper, clock, prompter);
    prompter.setParentWidget(&window);
    window.show();
    const int code = application.exec();
    port.ClosePort();
    return code;
}
