// Program entry: data folder, settings, the serial port and the main window with its poll cycle.
#include <QApplication>

#include "app/MainWindow.h"
#include "app/WidgetPrompter.h"
#include "app/core/Config.h"
#include "app/core/DataFolder.h"
#include "app/core/LiveSettings.h"
#include "link/Clock.h"
#include "link/QtSerialPort.h"

using namespace tarsyn;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarsyn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarsyn"));

    // --data-dir DIR, else the executable's folder; a folder that cannot be used is named and the
    // program stops before touching anything.
    app::WidgetPrompter prompter;
    const app::DataFolder folder = app::ResolveDataFolder(QCoreApplication::arguments());
    if (!folder.ok()) {
        prompter.error(folder.error);
        return 1;
    }
    const QString dataDir = folder.path;

    app::Config config(dataDir);
    app::LiveSettings settings;
    settings.load(config);
    app::Messages messages(config, settings);
    link::QtSerialPort port;
    link::ThreadSleeper sleeper;
    link::SystemClock clock;

    app::MainWindow window(config, settings, messages, port, sleeper, clock, prompter);
    prompter.setParentWidget(&window);
    window.show();
    const int code = application.exec();
    port.ClosePort();
    return code;
}
