#include "platform/Desktop.h"
#include "platform/QtDesktop.h"

#include "platform/Application.h"
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QWidget>
#include <atomic>

namespace ostrel {

namespace {

std::atomic<Desktop*> installed{nullptr};
bool nobodyAnswers = false;

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

void setUnattended(bool on) {
    nobodyAnswers = on;
}

bool unattended() {
    return nobodyAnswers;
}

void centreOnScreen(QWidget* window) {
    if (QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void installHelpKey(QWidget* window, int context) {
    window->setProperty("helpContext", context);
    auto* key = new QShortcut(QKeySequence::HelpContents, window);
    QObject::connect(key, &QShortcut::activated, window, [context] {
        try {
            desktop().help(HelpCommand::Context, context);
        } catch (...) {
            Application::showCurrentException();
        }
    });
}

void setSpokenText(QLabel* label, const QString& text) {
    // Such texts carry what servers and cameras answered: shown as they came, never as
    // markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAccessibleName(text);
}

void showAsHelpText(QWidget* text) {
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 206));
    palette.setColor(QPalette::Text, Qt::black);
    text->setPalette(palette);
}

} // namespace ostrel
