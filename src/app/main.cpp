// Program entry: the application object, the windows in their order, the event loop.
#include "app/mainf.h"
#include "capture/CaptureDriver.h"
#include "platform/Application.h"
#include "platform/CloseSignals.h"
#include "platform/ProgramFolder.h"
#include <QDir>
#include <memory>

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrel"));

    const QString folder = ostrel::programFolder();
    QDir::setCurrent(folder);

    std::unique_ptr<ostrel::TMain> mainWindow;
    try {
        mainWindow = std::make_unique<ostrel::TMain>(folder, ostrel::systemDrivers(folder));
        mainWindow->createWindows();
    } catch (...) {
        ostrel::Application::showCurrentException();
        return 1;
    }

    // SIGTERM, SIGINT and SIGHUP close the window through its normal close sequence.
    ostrel::CloseSignals closeSignals;
    QObject::connect(&closeSignals, &ostrel::CloseSignals::closeRequested, mainWindow.get(),
                     &ostrel::TMain::closeBySignal);

    mainWindow->show();
    const int result = app.exec();
    mainWindow.reset(); // the destroy step runs while the application still exists
    return result;
}
