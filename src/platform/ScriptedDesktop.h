#pragma once
// A Desktop for tests: answers message boxes and file dialogs from queues, records
// everything shown, beeped, opened and asked of help, and has a settable clock.
#include "platform/Desktop.h"
#include <QList>
#include <QQueue>
#include <functional>

namespace ostrel {

class ScriptedDesktop : public Desktop {
public:
    struct Shown {
        MsgKind kind;
        QString text;
        MsgButtons buttons;
    };
    struct Tone {
        int frequencyHz;
        int milliseconds;
    };

    ScriptedDesktop();           // installs itself
    ~ScriptedDesktop() override; // restores the previous desktop

    // Answers, taken in order; an empty queue answers Ok, or the first of Yes/Ok/No/Cancel offered.
    QQueue<MsgButton> answers;
    QQueue<QString> fileAnswers; // for open and save dialogs alike; empty queue = cancel
    // Called for each message box before it is answered (may inspect or act).
    std::function<void(const Shown&)> onMessageBox;

    QList<Shown> shown;
    QList<FileDialogRequest> fileRequests;
    int beeps = 0;
    QList<Tone> tones;
    QStringList openedUrls;
    QList<QPair<HelpCommand, int>> helpRequests;

    QDateTime clock; // now() returns this when valid, else the real time
    std::uint32_t ticks = 0;
    bool toneAdvancesTicks = true; // a tone moves `ticks` by its length

    OSTREL_DESKTOP_SERVICES

    QStringList shownTexts() const;

private:
    Desktop* previous_;
};

} // namespace ostrel
