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
};

} // namespace ostrel
