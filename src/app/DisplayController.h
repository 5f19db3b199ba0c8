#pragma once
// The live picture's controls: the capture device's status, status-callback and error
// events, the Local Display Settings group and the Rate field, and a camera that went
// away and comes back.
#include <QObject>
#include <memory>

namespace ostrel {

class DeviceReturn;
class MainWindowParts;

class DisplayController : public QObject {
    Q_OBJECT
public:
    DisplayController(MainWindowParts& main, QObject* parent);

    void Video1Status();
    void Video1StatusCallback(int statusNumber, const QString& text);
    void VideoCap1Error(int errorNumber, const QString& text);
    void Edit1Change(const QString& text);

    // A camera that went away is waited for until it comes back.
    bool cameraLost() const;
    int cameraReturns() const { return returns_; }
    // The driver index to keep in the settings: the lost camera's while it is away.
    int driverIndexToKeep() const;
    // While the camera is away, Video Source is its driver's (to mend an address), and a
    // confirmed change is tried at once.
    bool lostCameraHasSourceDialog() const;
    void showLostCameraSource();

private:
    void cameraReturned();

    MainWindowParts& main_;
    DeviceReturn* cameraReturn_;
    int returns_ = 0;
};

} // namespace ostrel
