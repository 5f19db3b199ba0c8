#pragma once
// Brings back a capture device that went away. The device is closed; whenever the folder
// of its device nodes changes, and otherwise after a pause that grows from 1 s to 60 s,
// the drivers are looked through for the same device (by its key: the bus a camera is
// plugged into, not its node number; a network camera's address) and it is opened again
// with the live picture as it was. A source that opens in the background counts as back
// once it has opened.
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QFileSystemWatcher;

namespace ostrel {

class TVideoCapture;

class DeviceReturn : public QObject {
    Q_OBJECT
public:
    explicit DeviceReturn(TVideoCapture& video, QObject* parent = nullptr);
    ~DeviceReturn() override;

    enum class Loss {
        New,        // the device was working: it is now waited for
        StillAway,  // a try to open it again failed: the wait goes on
        NotWatched, // a source that cannot say which device it is stays closed for good
    };
    // The device reported itself lost: it is closed and its driver forgotten.
    Loss lost();
    // Looks again at once, for the device as its driver now names it (a network camera
    // whose address was mended).
    void retryNow();
    // Waiting ends when the device is back, or when another driver has been chosen.
    bool waiting() const;
    // The lost device's driver name and the index it had.
    QString deviceName() const { return name_; }
    int lastIndex() const { return index_; }

    static constexpr int FirstPauseMs = 1000;
    static constexpr int LongestPauseMs = 60000;

signals:
    // The device is open again, its live picture as before the loss.
    void returned();

private:
    void tryOpen();
    void scheduleRetry();
    void back();
    void stop();

    TVideoCapture& video_;
    QTimer retry_;
    QTimer settle_; // a device's nodes and their permissions appear in a burst
    std::unique_ptr<QFileSystemWatcher> folderWatch_;
    bool waiting_ = false;
    bool trying_ = false; // opened again, its source still opening in the background
    QString key_;
    QString name_;
    int index_ = -1;
    bool preview_ = false;
    bool overlay_ = false;
    int pauseMs_ = FirstPauseMs;
};

} // namespace ostrel
