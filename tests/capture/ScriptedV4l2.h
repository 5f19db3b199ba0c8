#pragma once
// A stand-in for the machine's V4L2 devices: cameras whose formats, inputs and controls a
// test sets, and frames that come from a source FFmpeg provides (a lavfi graph built from
// the demuxer options, or files and streams the test makes), so everything above the
// ioctls runs as it does with a camera.
#include "capture/V4l2Device.h"
#include <QMap>
#include <functional>
#include <linux/videodev2.h>

namespace ostrel::test {

struct ScriptedCamera {
    QString path;
    QString identity = QStringLiteral("1");
    V4l2Capability cap;
    bool opens = true;
    QList<V4l2Format> formats;
    QStringList inputs;
    QList<V4l2Control> controls;
    QMap<quint32, int> values;

    // The white balance temperature is inactive while the automatic white balance is on.
    bool isInactive(quint32 id) const {
        return id == V4L2_CID_WHITE_BALANCE_TEMPERATURE &&
               values.value(V4L2_CID_AUTO_WHITE_BALANCE);
    }
};

class ScriptedV4l2Device : public V4l2Device {
public:
    explicit ScriptedV4l2Device(std::shared_ptr<ScriptedCamera> camera) : c_(std::move(camera)) {}
    V4l2Capability capability() const override { return c_->cap; }
    QList<V4l2Format> formats() override { return c_->formats; }
    QStringList inputs() override { return c_->inputs; }
    int currentInput() override { return 0; }
    QList<V4l2Control> controls() override {
        QList<V4l2Control> list = c_->controls;
        for (V4l2Control& c : list)
            c.inactive = c_->isInactive(c.id);
        return list;
    }
    std::optional<int> control(quint32 id) override {
        return c_->values.contains(id) ? std::optional<int>(c_->values.value(id)) : std::nullopt;
    }
    // Like a camera: values are clamped, and an inactive control refuses to be set.
    bool setControl(quint32 id, int value) override {
        for (const V4l2Control& c : c_->controls) {
            if (c.id != id) continue;
            if (c.readOnly || c_->isInactive(id)) return false;
            if (c.type != V4l2Control::Type::Button)
                c_->values[id] = std::clamp(value, c.minimum, c.maximum);
            return true;
        }
        return false;
    }

private:
    std::shared_ptr<ScriptedCamera> c_;
};

inline V4l2FrameSize frameSize(int w, int h, std::initializer_list<int> rates) {
    V4l2FrameSize s{QSize(w, h), {}};
    for (int r : rates)
        s.rates.append(FrameRate{r, 1});
    return s;
}

inline V4l2Format format(quint32 fourcc, const QString& description,
                         std::initializer_list<V4l2FrameSize> sizes) {
    return {fourcc, description, fourcc == V4L2_PIX_FMT_MJPEG, sizes};
}

// What a typical USB webcam offers: raw YUYV up to 1280 x 720 (slowly), Motion-JPEG up to
// 1920 x 1080, and a format FFmpeg cannot read.
inline QList<V4l2Format> webcamFormats() {
    return {format(V4L2_PIX_FMT_YUYV, QStringLiteral("YUYV 4:2:2"),
                   {frameSize(320, 240, {30, 15}), frameSize(640, 480, {30, 15}),
                    frameSize(1280, 720, {10, 5})}),
            format(V4L2_PIX_FMT_MJPEG, QStringLiteral("Motion-JPEG"),
                   {frameSize(320, 240, {30}), frameSize(640, 480, {30}),
                    frameSize(1280, 720, {30, 15}), frameSize(1920, 1080, {30})}),
            format(v4l2_fourcc('Y', '1', '0', 'B'), QStringLiteral("10-bit Greyscale"),
                   {frameSize(800, 600, {60})})};
}

class ScriptedV4l2 : public V4l2Backend {
public:
    QList<std::shared_ptr<ScriptedCamera>> cameras;
    // Frames for a camera, from the demuxer options; unset: a lavfi test picture of the
    // size, rate and raw pixel format asked for.
    std::function<SourceSpec(const QString& path, const QMap<QString, QString>& options)> streamFor;
    QList<QMap<QString, QString>> streamed; // options of every stream asked for
    int opens = 0;
    int listings = 0; // how often the nodes were looked through
    QString folder;   // stands for /dev: a test makes an entry there when it plugs a camera in

    std::shared_ptr<ScriptedCamera> add(const QString& card, const QString& bus = QString()) {
        auto camera = std::make_shared<ScriptedCamera>();
        camera->path = QStringLiteral("/dev/video%1").arg(cameras.size() * 2);
        camera->cap = {QStringLiteral("uvcvideo"), card, bus, 0x050a00, true};
        cameras.append(camera);
        return camera;
    }
    // A typical webcam with two inputs; brightness, contrast, automatic white balance
    // governing the temperature, the power line frequency menu, and a button; every value
    // at its default.
    std::shared_ptr<ScriptedCamera> addWebcam(const QString& card, const QString& bus = QString()) {
        auto camera = add(card, bus);
        camera->formats = webcamFormats();
        camera->inputs = QStringList{"Camera 1", "Composite"};
        using T = V4l2Control::Type;
        const auto control = [](quint32 id, const char* name, T type, int min, int max, int def) {
            return V4l2Control{id, QString::fromLatin1(name), type, min, max, 1, def, {}};
        };
        camera->controls = {
            control(V4L2_CID_BRIGHTNESS, "Brightness", T::Integer, 0, 255, 128),
            control(V4L2_CID_CONTRAST, "Contrast", T::Integer, 0, 95, 32),
            control(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", T::Boolean, 0, 1, 1),
            control(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", T::Menu, 0, 2, 1),
            control(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", T::Integer,
                    2800, 6500, 4600),
            control(V4L2_CID_PAN_RESET, "Pan, Reset", T::Button, 0, 0, 0)};
        camera->controls[3].menu = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
        for (const V4l2Control& c : camera->controls)
            if (c.type != T::Button) camera->values[c.id] = c.defaultValue;
        return camera;
    }
    QList<Node> nodes() override {
        ++listings;
        QList<Node> list;
        for (const auto& c : cameras)
            list.append({c->path, c->identity});
        return list;
    }
    std::unique_ptr<V4l2Device> open(const QString& path) override {
        ++opens;
        for (const auto& c : cameras)
            if (c->path == path && c->opens) return std::make_unique<ScriptedV4l2Device>(c);
        return nullptr;
    }
    QString deviceFolder() const override { return folder; }
    SourceSpec stream(const QString& path, const QMap<QString, QString>& options) override {
        streamed.append(options);
        if (streamFor) return streamFor(path, options);
        QString pixelFormat = options.value(QStringLiteral("input_format"));
        if (pixelFormat.isEmpty() || pixelFormat == QLatin1String("mjpeg"))
            pixelFormat = QStringLiteral("yuv420p");
        SourceSpec s;
        s.inputFormat = QStringLiteral("lavfi");
        s.url =
            QStringLiteral("testsrc=size=%1:rate=%2,format=%3")
                .arg(options.value(QStringLiteral("video_size"), QStringLiteral("320x240")),
                     options.value(QStringLiteral("framerate"), QStringLiteral("15")), pixelFormat);
        return s;
    }
};

} // namespace ostrel::test
