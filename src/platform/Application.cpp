#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"

#include <QThread>

#include <exception>

namespace ostrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Ostrel"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
        return false;
    }
}

void Application::showCurrentException() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return;
    QString text;
    try {
        std::rethrow_exception(current);
    } catch (const Exception& e) {
        text = e.message();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    auto show = [text] {
        // Showing the box must not let a second exception escape into the event loop.
        try {
            desktop().messageBox(MsgKind::Error, text, MsgButton::Ok);
        } catch (...) {
        }
    };
    // Windows live on the user-interface thread only; an error from another thread's
    // events is shown there.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);
    else
        show();
}

} // namespace ostrel
