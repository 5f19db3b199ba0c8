#pragma once
// The desktop services the program talks to: message boxes, file dialogs, sounds,
// help, opening documents, and the clock. The program reaches them through
// ostrel::desktop(); tests install a ScriptedDesktop to answer and record.
#include <QDateTime>
#include <QFlags>
#include <QString>
#include <QStringList>
#include <cstdint>

class QLabel;
class QWidget;

namespace ostrel {

enum class MsgKind { Error, Warning, Confirmation, Information };

enum class MsgButton : unsigned {
    None = 0,
    Ok = 1u << 0,
    Cancel = 1u << 1,
    Yes = 1u << 2,
    No = 1u << 3,
};
Q_DECLARE_FLAGS(MsgButtons, MsgButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MsgButtons)

struct FileDialogRequest {
    QString title;
    QString filter;           // "Text files|*.txt" style: description|pattern pairs joined by '|'
    QString defaultExtension; // without the dot
    QString initialDir;
    QString fileName; // proposed name
};

enum class HelpCommand { Contents, Index, Context, Quit };

class Desktop {
public:
    virtual ~Desktop() = default;

    // A standard message box; returns the button pressed (Cancel/No when closed otherwise).
    virtual MsgButton messageBox(MsgKind kind, const QString& text, MsgButtons buttons,
                                 QWidget* parent = nullptr) = 0;
    // Empty string when the user cancels.
    virtual QString openFileName(const FileDialogRequest& request, QWidget* parent = nullptr) = 0;
    virtual QString saveFileName(const FileDialogRequest& request, QWidget* parent = nullptr) = 0;

    // The default message sound.
    virtual void messageBeep() = 0;
    // Starts a tone of the given frequency and length and returns at once; the caller
    // paces itself by the length. Without a sound device nothing is heard.
    virtual void tone(int frequencyHz, int milliseconds) = 0;

    // Open a document or web address with the desktop's default handler.
    virtual bool openUrl(const QString& url) = 0;
    // Help viewer requests; `context` is used with HelpCommand::Context.
    virtual void help(HelpCommand command, int context = 0) = 0;

    // Wall-clock local time and a millisecond tick counter (wraps like a 32-bit tick count).
    virtual QDateTime now() const = 0;
    virtual std::uint32_t tickCount() const = 0;
};

// The overrides every implementation declares.
#define OSTREL_DESKTOP_SERVICES                                                                    \
    MsgButton messageBox(MsgKind kind, const QString& text, MsgButtons buttons, QWidget* parent)   \
        override;                                                                                  \
    QString openFileName(const FileDialogRequest& request, QWidget* parent) override;              \
    QString saveFileName(const FileDialogRequest& request, QWidget* parent) override;              \
    void messageBeep() override;                                                                   \
    void tone(int frequencyHz, int milliseconds) override;                                         \
    bool openUrl(const QString& url) override;                                                     \
    void help(HelpCommand command, int context) override;                                          \
    QDateTime now() const override;                                                                \
    std::uint32_t tickCount() const override;

// The installed services; a QtDesktop unless a test installed its own.
Desktop& desktop();
// Installs `d` (not owned) and returns the previous one; nullptr restores the default.
Desktop* setDesktop(Desktop* d);

// While a close asked for by a signal runs nobody is there to answer: the real message
// box then writes its text to standard error and is answered as a closed box is.
void setUnattended(bool on);
bool unattended();

// Puts a window (frame included) in the middle of its screen's free area.
void centreOnScreen(QWidget* window);
// Help topics of windows that have no number of their own (Help/topic<N>.html).
namespace helpcontext {
enum : int { CaptureParameters = 11, VideoSource = 12, VideoFormat = 13, VideoCompression = 14 };
}
// F1 in `window` (or a control of it) opens the help topic of `context`.
void installHelpKey(QWidget* window, int context);
// A label whose text changes: shown as plain text (never markup), and a screen reader
// hears the current text as its name.
void setSpokenText(QLabel* label, const QString& text);
// The look of a help window's text: black on light yellow (255, 255, 206).
void showAsHelpText(QWidget* text);

// Convenience wrappers used all over the program.
inline MsgButton showError(const QString& text, QWidget* parent = nullptr) {
    return desktop().messageBox(MsgKind::Error, text, MsgButton::Ok, parent);
}
inline MsgButton showWarning(const QString& text, QWidget* parent = nullptr) {
    return desktop().messageBox(MsgKind::Warning, text, MsgButton::Ok, parent);
}
inline MsgButton showInformation(const QString& text, QWidget* parent = nullptr) {
    return desktop().messageBox(MsgKind::Information, text, MsgButton::Ok, parent);
}

} // namespace ostrel
