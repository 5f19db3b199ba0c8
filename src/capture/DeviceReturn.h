#pragma once
// Brings back a capture device that went away. The device is closed; whenever the folder
// of its device nodes changes, and otherwise after a pause that grows from 1 s to 60 s,
// the drivers are looked through for the same device (by its key: the bus it is plugged
// into, not its node number) and it is opened again with the live picture as it was.
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

    // Closes the device that was lost and forgets its driver; true when it is watched for
    // (a source that cannot say which device it is stays closed for good).
    bool watch();
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
    void stop();

    TVideoCapture& video_;
    QTimer retry_;
    QTimer settle_; // a device's nodes and their permissions appear in a burst
    std::unique_ptr<QFileSystemWatcher> folderWatch_;
    bool waiting_ = false;
    QString key_;
    QString name_;
    int index_ = -1;
    bool preview_ = false;
    bool overlay_ = false;
    int pauseMs_ = FirstPauseMs;
};

} // namespace ostrel
