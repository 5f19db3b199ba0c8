#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"

#include <QPointer>
#include <QThread>
#include <QWidget>

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

QString Application::currentExceptionText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const Exception& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void Application::showCurrentException() {
    if (!std::current_exception()) return;
    const QString text = currentExceptionText();
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

void Application::endEveryLoop() {
    // A dialog's exec() ends when the dialog hides; a window that stays modal after that
    // would only repeat, so the walk stops there.
    QPointer<QWidget> previous;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == previous) break;
        previous = modal;
        modal->hide();
    }
    QCoreApplication::exit(0);
}

} // namespace ostrel
