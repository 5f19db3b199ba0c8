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

    ScriptedDesktop();  // installs itself
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

    QDateTime clock;       // now() returns this when valid, else the real time
    std::uint32_t ticks = 0;
    bool toneAdvancesTicks = true; // a tone moves `ticks` by its length

    MsgButton messageBox(MsgKind kind, const QString& text, MsgButtons buttons,
                         QWidget* parent) override;
    QString openFileName(const FileDialogRequest& request, QWidget* parent) override;
    QString saveFileName(const FileDialogRequest& request, QWidget* parent) override;
    void messageBeep() override;
    void tone(int frequencyHz, int milliseconds) override;
    bool openUrl(const QString& url) override;
    void help(HelpCommand command, int context) override;
    QDateTime now() const override;
    std::uint32_t tickCount() const override;

    QStringList shownTexts() const;

private:
    Desktop* previous_;
};

} // namespace ostrel
