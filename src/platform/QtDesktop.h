#pragma once
#include "platform/Desktop.h"

namespace ostrel {

// The real services: QMessageBox, QFileDialog, QAudioSink tones, QDesktopServices,
// the in-program help viewer over Help/ beside the executable.
class QtDesktop : public Desktop {
public:
    explicit QtDesktop(QString helpFolder = {});
    ~QtDesktop() override;

    OSTREL_DESKTOP_SERVICES

    void setHelpFolder(const QString& folder);

private:
    struct Private;
    Private* d;
};

// "Text files|*.txt" -> "Text files (*.txt)" for QFileDialog.
QString toQtFilter(const QString& filter);

} // namespace ostrel
