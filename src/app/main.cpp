// Program entry: the application object, the windows in their order, the event loop.
#include "app/mainf.h"
#include "capture/CaptureDriver.h"
#include "platform/Application.h"
#include "platform/CloseSignals.h"
#include "platform/Desktop.h"
#include "platform/ProgramFolder.h"
#include <QDir>
#include <QTimer>
#include <memory>

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ostrel"));

    // SIGTERM, SIGINT and SIGHUP close the window through its normal close sequence, from
    // the first window on: whatever modal window or event loop runs ends first, so the
    // close never waits for an answer nobody gives.
    ostrel::CloseSignals closeSignals;
    bool signalled = false;
    QObject::connect(&closeSignals, &ostrel::CloseSignals::closeRequested, &app, [&] {
        signalled = true;
        ostrel::setUnattended(true);
        ostrel::Application::endEveryLoop();
    });

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

    int result = 0;
    if (!signalled) {
        mainWindow->show();
        result = app.exec();
    }
    if (signalled) {
        // The close runs in an event loop of its own, the loops it interrupted being gone.
        QTimer::singleShot(0, mainWindow.get(), [&] {
            mainWindow->closeBySignal();
            QCoreApplication::exit(0);
        });
        app.exec();
        result = 0;
    }
    mainWindow.reset(); // the destroy step runs while the application still exists
    return result;
}
