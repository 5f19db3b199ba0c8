#include "platform/ScriptedDesktop.h"

namespace ostrel {

ScriptedDesktop::ScriptedDesktop() : previous_(setDesktop(this)) {}

ScriptedDesktop::~ScriptedDesktop() {
    setDesktop(previous_);
}

MsgButton ScriptedDesktop::messageBox(MsgKind kind, const QString& text, MsgButtons buttons,
                                      QWidget*) {
    const Shown s{kind, text, buttons};
    shown.append(s);
    if (onMessageBox) onMessageBox(s);
    if (!answers.isEmpty()) return answers.dequeue();
    for (MsgButton b : {MsgButton::Yes, MsgButton::Ok, MsgButton::No, MsgButton::Cancel})
        if (buttons.testFlag(b)) return b;
    return MsgButton::Ok;
}

QString ScriptedDesktop::openFileName(const FileDialogRequest& request, QWidget*) {
    fileRequests.append(request);
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDesktop::saveFileName(const FileDialogRequest& request, QWidget*) {
    fileRequests.append(request);
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

void ScriptedDesktop::messageBeep() {
    ++beeps;
}

void ScriptedDesktop::tone(int frequencyHz, int milliseconds) {
    tones.append({frequencyHz, milliseconds});
    if (toneAdvancesTicks && milliseconds > 0) ticks += static_cast<std::uint32_t>(milliseconds);
}

bool ScriptedDesktop::openUrl(const QString& url) {
    openedUrls.append(url);
    return true;
}

void ScriptedDesktop::help(HelpCommand command, int context) {
    helpRequests.append({command, context});
}

QDateTime ScriptedDesktop::now() const {
    return clock.isValid() ? clock : QDateTime::currentDateTime();
}

std::uint32_t ScriptedDesktop::tickCount() const {
    return ticks;
}

QStringList ScriptedDesktop::shownTexts() const {
    QStringList texts;
    for (const Shown& s : shown)
        texts.append(s.text);
    return texts;
}

} // namespace ostrel
