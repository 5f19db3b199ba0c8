#pragma once
// Access to Video4Linux2 devices: finding the capture devices, and what one device offers
// (pixel formats with their frame sizes and rates, inputs, controls). Frames themselves
// are read by FFmpeg's video4linux2 input; this layer only asks and sets through ioctls.
//
// Everything sits behind two small interfaces so the drivers, the format negotiation and
// the dialogs run the same way on a scripted stand-in without a camera.
#include "capture/CaptureDriver.h"
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace ostrel {

// Frames per second as a fraction (30/1, 30000/1001). V4L2 speaks of frame intervals,
// which are the inverse.
struct FrameRate {
    int num = 0;
    int den = 1;
    bool isValid() const { return num > 0 && den > 0; }
    double value() const { return isValid() ? double(num) / double(den) : 0.0; }
    bool operator==(const FrameRate& o) const {
        return isValid() && o.isValid() ? qint64(num) * o.den == qint64(o.num) * den
                                        : isValid() == o.isValid();
    }
    QString toString() const;                         // "30" or "30000/1001"; empty when not valid
    static FrameRate fromString(const QString& text); // invalid rate for bad text
};

struct V4l2FrameSize {
    QSize size;
    QList<FrameRate> rates; // fastest first; empty when the device does not say
};

struct V4l2Format {
    quint32 fourcc = 0;
    QString description;
    bool compressed = false;
    QList<V4l2FrameSize> sizes; // smallest first; empty when the device does not say
};

struct V4l2Control {
    enum class Type { Integer, Boolean, Menu, IntegerMenu, Button, Other };
    quint32 id = 0;
    QString name;
    Type type = Type::Other;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    QList<QPair<int, QString>> menu; // menu and integer-menu entries: value, text
    bool readOnly = false;
    bool inactive = false; // currently without effect (an automatic mode is on)
    // Whether the user can set this control with a value (buttons carry none).
    bool isSettable() const {
        return !readOnly && (type == Type::Integer || type == Type::Boolean || type == Type::Menu ||
                             type == Type::IntegerMenu);
    }
};

struct V4l2Capability {
    QString driver;
    QString card;
    QString busInfo;
    quint32 version = 0;     // kernel driver version, KERNEL_VERSION(major, minor, patch)
    bool canCapture = false; // single-planar video capture, the kind FFmpeg reads
};

// "major.minor.patch" of a V4L2 driver version.
QString v4l2VersionText(quint32 version);
// "YUYV" for a fourcc code; unprintable bytes become '?'.
QString fourccText(quint32 fourcc);
quint32 fourccFromText(const QString& text); // 0 for anything but four Latin-1 characters

// One opened device node. Answers are read from the device each time.
class V4l2Device {
public:
    virtual ~V4l2Device() = default;
    virtual V4l2Capability capability() const = 0;
    virtual QList<V4l2Format> formats() = 0;
    virtual QStringList inputs() = 0;
    virtual int currentInput() = 0; // -1 when unknown
    virtual QList<V4l2Control> controls() = 0;
    virtual std::optional<int> control(quint32 id) = 0;
    virtual bool setControl(quint32 id, int value) = 0;
};

class V4l2Backend {
public:
    struct Node {
        QString path;
        QString identity; // changes when the node is replaced (a camera plugged in again)
        bool operator==(const Node&) const = default;
    };

    virtual ~V4l2Backend() = default;
    // The /dev/video* nodes, in device-number order.
    virtual QList<Node> nodes() = 0;
    // nullptr when the node cannot be opened or is not a V4L2 device.
    virtual std::unique_ptr<V4l2Device> open(const QString& path) = 0;
    // What FFmpeg opens to read frames from the node with the given demuxer options
    // (video_size, framerate, input_format, channel).
    virtual SourceSpec stream(const QString& path, const QMap<QString, QString>& options) = 0;
    // The folder holding the nodes, watched for nodes that come and go; empty: not watched.
    virtual QString deviceFolder() const { return {}; }
};

// The devices of this machine, through open() and ioctl() on the nodes in `deviceFolder`.
std::shared_ptr<V4l2Backend> linuxV4l2(const QString& deviceFolder = QStringLiteral("/dev"));

} // namespace ostrel
