// Program entry: the application object, the windows in their order, the event loop.
#include "app/mainf.h"
#include "capture/CaptureDriver.h"
#include "platform/Application.h"
#include "platform/CloseSignals.h"
#include "platform/Desktop.h"
#include "platform/ProgramFolder.h"
#include "platform/QtDesktop.h"
#include <QDir>
#include <QGuiApplication>
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

    // A program folder that cannot be written (installed system-wide, read-only media)
    // gives way to the user's data folder.
    const ostrel::FolderChoice choice =
        ostrel::chooseProgramFolder(ostrel::programFolder(), ostrel::xdgDataHome());
    if (choice.folder.isEmpty()) {
        ostrel::showError(choice.error);
        return 1;
    }
    const QString& folder = choice.folder;
    // One copy per folder: a second one would sweep away the first one's temporary files
    // and write over its settings and log, so it leaves the folder as it found it.
    const ostrel::FolderLock lock(folder);
    if (lock.heldElsewhere()) {
        // On a platform without a screen a box would wait for a click nobody can give.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            ostrel::setUnattended(true);
        ostrel::showError(lock.message());
        return 1;
    }
    QStringList notices;
    if (!choice.notice.isEmpty()) notices << choice.notice;
    if (!lock.message().isEmpty()) notices << lock.message(); // runs on without the lock
    QDir::setCurrent(folder);
    if (auto* qtDesktop = dynamic_cast<ostrel::QtDesktop*>(&ostrel::desktop()))
        qtDesktop->setHelpFolder(folder + QStringLiteral("Help"));

    std::unique_ptr<ostrel::TMain> mainWindow;
    try {
        mainWindow = std::make_unique<ostrel::TMain>(folder, ostrel::systemDrivers(folder));
        for (const QString& notice : notices) {
            mainWindow->errorLog().addQuietly(QStringLiteral(" :   ") + notice);
            mainWindow->showStatus(notice);
        }
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
