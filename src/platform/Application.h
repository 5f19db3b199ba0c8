#pragma once
#include <QApplication>

namespace ostrel {

// The application object: an exception that escapes an event handler ends here and is
// shown in the standard error box; the program runs on.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the text of the exception currently being handled (call from a catch block).
    static void showCurrentException();
    // The text of the exception currently being handled (call from a catch block).
    static QString currentExceptionText();

    // Hides every modal window and ends every event loop under way, the main one included.
    // Until the next exec() a new event loop (a dialog's exec()) returns at once.
    static void endEveryLoop();
};

} // namespace ostrel
