#include "platform/Desktop.h"
#include "platform/QtDesktop.h"

#include <QScreen>
#include <QWidget>
#include <atomic>

namespace ostrel {

namespace {

std::atomic<Desktop*> installed{nullptr};

Desktop& defaultDesktop() {
    // Created on first use, so a test that installs its own never builds the real one.
    static QtDesktop instance;
    return instance;
}

} // namespace

Desktop& desktop() {
    if (Desktop* d = installed.load()) return *d;
    return defaultDesktop();
}

Desktop* setDesktop(Desktop* d) {
    return installed.exchange(d);
}

void centreOnScreen(QWidget* window) {
    if (QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void showAsHelpText(QWidget* text) {
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 206));
    palette.setColor(QPalette::Text, Qt::black);
    text->setPalette(palette);
}

} // namespace ostrel
