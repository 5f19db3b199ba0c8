#pragma once
// Drivers 1 to 9: the V4L2 devices that can capture. Each is listed by its card name and
// kernel driver version, is read through FFmpeg's video4linux2 input, and keeps the
// user's format, input and control choices in vcap.sif, in a section of its own
// ([Device <bus>], or [Device <card>] for a device without bus information).
#include "capture/CaptureDriver.h"
#include "capture/V4l2Device.h"
#include <QMap>

namespace ostrel {

class IniFile;

// The picture a device is asked for. Parts left invalid are the device's own choice.
struct FormatChoice {
    quint32 fourcc = 0;
    QSize size;
    FrameRate rate;
    bool operator==(const FormatChoice&) const = default;
};

// The name FFmpeg's video4linux2 input knows a pixel format by (its input_format
// option); empty for formats it cannot read.
QString inputFormatName(quint32 fourcc);
// The formats of `offered` FFmpeg can read, in the device's order.
QList<V4l2Format> usableFormats(const QList<V4l2Format>& offered);

// The format, size and rate to ask for: the wanted ones where the device offers them,
// otherwise 640 x 480 (or the nearest smaller size, or the smallest), in the format
// that gives it fastest, at the highest rate up to 30 frames per second.
FormatChoice negotiateFormat(const QList<V4l2Format>& offered, const FormatChoice& wanted);
// The demuxer options for a choice: input_format, video_size, framerate.
QMap<QString, QString> demuxerOptions(const FormatChoice& choice);

// What vcap.sif keeps for one device.
struct DeviceSettings {
    FormatChoice format;
    int input = -1;              // -1: the device's current input
    QMap<quint32, int> controls; // control id to value, only those stored

    // `controls` names the ids to look for (a settings file cannot list its keys).
    static DeviceSettings read(const IniFile& ini, const QString& section,
                               const QList<V4l2Control>& controls = {});
    void write(IniFile& ini, const QString& section) const; // raises EIniFileException
};

class V4l2Driver : public CaptureDriver {
public:
    V4l2Driver(std::shared_ptr<V4l2Backend> backend, QString node, V4l2Capability cap,
               QString programFolder);

    DriverDescription description() const override;
    DriverCaps caps() const override;
    // Negotiates the format, applies the stored controls and names what FFmpeg opens.
    SourceSpec source() const override;
    QString deviceKey() const override;
    QString deviceFolder() const override;

    bool showFormatDialog(QWidget* parent) override;
    bool showSourceDialog(QWidget* parent) override;

    const QString& node() const { return node_; }
    QString settingsSection() const;

    // A camera silent for this long has failed, even when the system does not say so.
    static constexpr int StallTimeoutMs = 10000;

private:
    QString settingsFile() const;

    std::shared_ptr<V4l2Backend> backend_;
    QString node_;
    V4l2Capability cap_;
    QString programFolder_;
};

} // namespace ostrel
