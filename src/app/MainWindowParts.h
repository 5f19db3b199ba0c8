#pragma once
// What the main window's controllers work with: its controls and shared parts, not the
// window itself. Each controller sees this narrow face of the hub, never the others.
#include <QString>

class QTimer;
class QWidget;

namespace Ui {
class TMain;
}

namespace ostrel {

class DiskGuard;
class Outbox;
class ErrorLog;
class TFtpClient;
class TSmtpClient;
class TVideoCapture;
struct NetworkSettings;
struct RequestReport;

class MainWindowParts {
public:
    virtual ~MainWindowParts() = default;

    virtual Ui::TMain* ui() const = 0;
    virtual QWidget* dialogParent() = 0; // the window message boxes belong to
    virtual TVideoCapture* VideoCap1() const = 0;
    virtual TFtpClient* FtpClient() const = 0;
    virtual TSmtpClient* SmtpClient() const = 0;
    virtual ErrorLog& errorLog() = 0;
    // Asked before a picture or a recording is written in the program folder.
    virtual DiskGuard& diskGuard() = 0;
    virtual Outbox& outbox() = 0; // every mail the program sends by itself
    virtual const QString& programFolder() const = 0;
    virtual QTimer* Timer1() const = 0; // website update
    virtual QTimer* Timer2() const = 0; // motion checks

    // Status bar panel 1.
    virtual void showStatus(const QString& text) = 0;
    // A failed request: beep, status bar and error log, as the report says.
    virtual void report(const RequestReport& r) = 0;

    // The live network settings and the program-wide values.
    virtual const NetworkSettings& network() const = 0;
    virtual QString& camera() = 0; // the stamp pads it in place
    virtual bool emailOnly() const = 0;
    virtual bool disableOnFail() const = 0;
    // The camera went away and is waited for: no frames until it is back.
    virtual bool cameraLost() const = 0;
    // How often a lost camera has come back: its first frame after that is a new scene.
    virtual int cameraReturns() const = 0;

    // The program's state changed: controls and captions follow.
    virtual void updateControls() = 0;
    virtual void RecordingCaptions(bool recording) = 0;
};

} // namespace ostrel
