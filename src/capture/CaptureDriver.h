#pragma once
// A capture driver is a small table: its description, its capabilities, where FFmpeg
// reads its frames from, and its dialogs. Every driver runs through the same FFmpeg
// pipeline and capture thread.
#include <QMap>
#include <QString>
#include <memory>

class QWidget;

namespace ostrel {

struct DriverDescription {
    QString name;
    QString version;
};

struct DriverCaps {
    bool hasOverlay = false;
    bool hasFormatDialog = false;
    bool hasSourceDialog = false;
    bool hasDisplayDialog = false;
};

// What libavformat opens: an input format ("lavfi", "video4linux2", empty for a file
// probed by name), the URL, the demuxer options, and whether the source paces itself
// (a camera) or must be paced to its timestamps (a filter graph, a file).
struct SourceSpec {
    QString inputFormat;
    QString url;
    QMap<QString, QString> options;
    bool paced = false; // true: frames arrive in real time on their own
    bool loop = false;  // restart at the end instead of reporting the end
    // A device: any read error, and a silence longer than stallTimeoutMs, means the
    // device is gone. Non-blocking reads keep a silent device from holding the thread.
    bool device = false;
    bool nonBlocking = false;
    int stallTimeoutMs = 0; // 0: wait for frames as long as it takes
    // A network stream: opened on the capture thread, so a camera slow to answer never
    // holds the window; a failed open arrives as a lost device naming the camera's answer.
    bool openInBackground = false;
    int openTimeoutMs = 0; // 0: the default of 15 s
    // How messages name the source: the address without its login. Empty: the URL.
    QString shownUrl;
    // A TLS server's certificate trusted by its SHA-256 fingerprint, beside those the
    // system's store and the host name vouch for (see CameraTls.h).
    QString trustedSha256;

    bool operator==(const SourceSpec&) const = default;
};

class CaptureDriver {
public:
    virtual ~CaptureDriver() = default;
    virtual DriverDescription description() const = 0;
    virtual DriverCaps caps() const = 0;
    virtual SourceSpec source() const = 0;
    // Which device this is, the same wherever and whenever it is plugged in (a camera's
    // bus information); empty for a source that cannot go away and come back.
    virtual QString deviceKey() const { return {}; }
    // A folder whose entries change when such a device appears or goes ("/dev"); empty
    // when nothing tells.
    virtual QString deviceFolder() const { return {}; }

    // The driver's own dialogs; true when the user confirmed a change.
    virtual bool showFormatDialog(QWidget* /*parent*/) { return false; }
    virtual bool showSourceDialog(QWidget* /*parent*/) { return false; }
    virtual bool showDisplayDialog(QWidget* /*parent*/) { return false; }
};

// Drivers by index 0 to 9; nullptr where no driver is installed.
class DriverRegistry {
public:
    virtual ~DriverRegistry() = default;
    virtual std::shared_ptr<CaptureDriver> driver(int index) = 0;
    static constexpr int MaxDrivers = 10;
};

class V4l2Backend;

// Index 0 is the built-in virtual camera (settings in `programFolder`/vcap.sif); then
// come the V4L2 devices that can capture (at most 8), in device-number order, looked for
// again whenever a device node appears, goes or is replaced; then the network camera.
// Used on one thread.
std::shared_ptr<DriverRegistry> systemDrivers(const QString& programFolder);
std::shared_ptr<DriverRegistry> systemDrivers(const QString& programFolder,
                                              std::shared_ptr<V4l2Backend> v4l2);

} // namespace ostrel
