#pragma once
#include "platform/Desktop.h"

namespace ostrel {

// The real services: QMessageBox, QFileDialog, QAudioSink tones, QDesktopServices,
// the in-program help viewer over Help/ beside the executable.
class QtDesktop : public Desktop {
public:
    explicit QtDesktop(QString helpFolder = {});
    ~QtDesktop() override;

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

    void setHelpFolder(const QString& folder);

private:
    struct Private;
    Private* d;
};

// "Text files|*.txt" -> "Text files (*.txt)" for QFileDialog.
QString toQtFilter(const QString& filter);

} // namespace ostrel
