#include "capture/V4l2Driver.h"

#include "capture/DlgVideoFormat.h"
#include "capture/DlgVideoSource.h"
#include "capture/DriverDialogs.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"

#include <QDialog>
#include <algorithm>
#include <linux/videodev2.h>

namespace ostrel {

namespace {

using namespace sif;

QString controlKey(quint32 id) {
    return QLatin1String(key::ControlKeyPrefix) +
           QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0'));
}

constexpr QSize PreferredSize(640, 480);
constexpr double MaxDefaultRate = 30.0;
constexpr int MaxDimension = 16384;

// Among formats that give the same size equally fast: no decoding first, then the
// compressed formats cameras use for their larger sizes, then the rest.
constexpr quint32 Preference[] = {V4L2_PIX_FMT_YUYV,    V4L2_PIX_FMT_MJPEG,   V4L2_PIX_FMT_NV12,
                                  V4L2_PIX_FMT_YUV420,  V4L2_PIX_FMT_UYVY,    V4L2_PIX_FMT_JPEG,
                                  V4L2_PIX_FMT_YUV422P, V4L2_PIX_FMT_BGR24,   V4L2_PIX_FMT_RGB24,
                                  V4L2_PIX_FMT_GREY,    V4L2_PIX_FMT_YUV411P, V4L2_PIX_FMT_YUV410,
                                  V4L2_PIX_FMT_H264};

int preferenceRank(quint32 fourcc) {
    const auto it = std::find(std::begin(Preference), std::end(Preference), fourcc);
    return int(it - std::begin(Preference));
}

qint64 area(QSize size) {
    return qint64(size.width()) * size.height();
}

const V4l2FrameSize* findSize(const V4l2Format& format, QSize size) {
    for (const V4l2FrameSize& s : format.sizes)
        if (s.size == size) return &s;
    return nullptr;
}

double fastest(const V4l2FrameSize& size) {
    double best = 0;
    for (const FrameRate& r : size.rates)
        best = std::max(best, r.value());
    return best;
}

// 640 x 480 when offered, else the largest size below it, else the smallest.
QSize defaultSize(const QList<QSize>& sizes) {
    if (sizes.contains(PreferredSize)) return PreferredSize;
    QSize best;
    for (QSize s : sizes)
        if (s.width() <= PreferredSize.width() && s.height() <= PreferredSize.height() &&
            area(s) > area(best))
            best = s;
    if (best.isValid() && !best.isEmpty()) return best;
    for (QSize s : sizes)
        if (!best.isValid() || best.isEmpty() || area(s) < area(best)) best = s;
    return best;
}

FrameRate chooseRate(const QList<FrameRate>& rates, FrameRate wanted) {
    if (wanted.isValid() && rates.contains(wanted)) return wanted;
    FrameRate best;
    for (const FrameRate& r : rates)
        if (r.value() <= MaxDefaultRate + 1e-6 && r.value() > best.value()) best = r;
    if (best.isValid()) return best;
    for (const FrameRate& r : rates) // every rate is above 30: the slowest
        if (!best.isValid() || r.value() < best.value()) best = r;
    return best;
}

// Section names end at ']' and lines at a line break; neither may come from a device.
QString sectionName(const QString& id) {
    QString clean;
    for (QChar c : id)
        clean +=
            (c == QLatin1Char('[') || c == QLatin1Char(']') || c.category() == QChar::Other_Control)
                ? QLatin1Char('_')
                : c;
    return QStringLiteral("Device ") + clean.trimmed();
}

} // namespace

QString inputFormatName(quint32 fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return QStringLiteral("yuyv422");
    case V4L2_PIX_FMT_UYVY:
        return QStringLiteral("uyvy422");
    case V4L2_PIX_FMT_YUV420:
        return QStringLiteral("yuv420p");
    case V4L2_PIX_FMT_NV12:
        return QStringLiteral("nv12");
    case V4L2_PIX_FMT_YUV422P:
        return QStringLiteral("yuv422p");
    case V4L2_PIX_FMT_YUV411P:
        return QStringLiteral("yuv411p");
    case V4L2_PIX_FMT_YUV410:
        return QStringLiteral("yuv410p");
    case V4L2_PIX_FMT_RGB24:
        return QStringLiteral("rgb24");
    case V4L2_PIX_FMT_BGR24:
        return QStringLiteral("bgr24");
    case V4L2_PIX_FMT_GREY:
        return QStringLiteral("gray");
    // FFmpeg asks for Motion-JPEG first and falls back to plain JPEG by itself.
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return QStringLiteral("mjpeg");
    case V4L2_PIX_FMT_H264:
        return QStringLiteral("h264");
    default:
        return {};
    }
}

QList<V4l2Format> usableFormats(const QList<V4l2Format>& offered) {
    QList<V4l2Format> usable;
    for (const V4l2Format& f : offered) {
        if (inputFormatName(f.fourcc).isEmpty()) continue;
        V4l2Format copy = f;
        copy.sizes.removeIf([](const V4l2FrameSize& s) {
            return s.size.width() <= 0 || s.size.height() <= 0 || s.size.width() > MaxDimension ||
                   s.size.height() > MaxDimension;
        });
        usable.append(copy);
    }
    return usable;
}

FormatChoice negotiateFormat(const QList<V4l2Format>& offered, const FormatChoice& wanted) {
    const QList<V4l2Format> usable = usableFormats(offered);
    if (usable.isEmpty()) return {};

    const V4l2Format* format = nullptr;
    for (const V4l2Format& f : usable)
        if (f.fourcc == wanted.fourcc) format = &f;

    // The size: the wanted one where the (wanted) format offers it, else the default.
    QList<QSize> sizes;
    for (const V4l2Format& f : usable) {
        if (format && &f != format) continue;
        for (const V4l2FrameSize& s : f.sizes)
            if (!sizes.contains(s.size)) sizes << s.size;
    }
    const QSize size =
        wanted.size.isValid() && sizes.contains(wanted.size) ? wanted.size : defaultSize(sizes);

    if (!format) {
        // The format that gives this size fastest; a device that lists no sizes at all
        // gets its most preferred format.
        const V4l2FrameSize* bestSize = nullptr;
        for (const V4l2Format& f : usable) {
            const V4l2FrameSize* s = size.isValid() ? findSize(f, size) : nullptr;
            if (size.isValid() && !s) continue;
            if (!format) {
                format = &f;
                bestSize = s;
                continue;
            }
            const double rate = s ? fastest(*s) : 0;
            const double bestRate = bestSize ? fastest(*bestSize) : 0;
            if (rate > bestRate ||
                (rate == bestRate && preferenceRank(f.fourcc) < preferenceRank(format->fourcc))) {
                format = &f;
                bestSize = s;
            }
        }
    }

    FormatChoice choice;
    choice.fourcc = format->fourcc;
    if (const V4l2FrameSize* s = size.isValid() ? findSize(*format, size) : nullptr) {
        choice.size = size;
        choice.rate = chooseRate(s->rates, wanted.rate);
    }
    return choice;
}

QMap<QString, QString> demuxerOptions(const FormatChoice& choice) {
    QMap<QString, QString> options;
    const QString name = inputFormatName(choice.fourcc);
    if (!name.isEmpty()) options.insert(QStringLiteral("input_format"), name);
    if (choice.size.isValid() && !choice.size.isEmpty())
        options.insert(QStringLiteral("video_size"),
                       QStringLiteral("%1x%2").arg(choice.size.width()).arg(choice.size.height()));
    if (choice.rate.isValid()) options.insert(QStringLiteral("framerate"), choice.rate.toString());
    return options;
}

DeviceSettings DeviceSettings::read(const IniFile& ini, const QString& section,
                                    const QList<V4l2Control>& controls) {
    DeviceSettings s;
    s.format.fourcc = fourccFromText(sif::read(ini, key::PixelFormat, section));
    const int width = sif::read(ini, key::Width, section);
    const int height = sif::read(ini, key::Height, section);
    if (width > 0 && height > 0 && width <= MaxDimension && height <= MaxDimension)
        s.format.size = QSize(width, height);
    s.format.rate = FrameRate::fromString(sif::read(ini, key::DeviceFrameRate, section));
    s.input = std::max(sif::read(ini, key::Input, section), -1);
    for (const V4l2Control& c : controls) {
        const QString key = controlKey(c.id);
        if (!ini.valueExists(section, key)) continue;
        bool ok = false;
        const int value = ini.readString(section, key, QString()).trimmed().toInt(&ok);
        if (ok) s.controls.insert(c.id, value);
    }
    return s;
}

void DeviceSettings::write(IniFile& ini, const QString& section) const {
    if (format.fourcc != 0)
        sif::write(ini, sif::DriverDialogs, key::PixelFormat, fourccText(format.fourcc), section);
    if (format.size.isValid()) {
        sif::write(ini, sif::DriverDialogs, key::Width, format.size.width(), section);
        sif::write(ini, sif::DriverDialogs, key::Height, format.size.height(), section);
    }
    if (format.rate.isValid())
        sif::write(ini, sif::DriverDialogs, key::DeviceFrameRate, format.rate.toString(), section);
    if (input >= 0) sif::write(ini, sif::DriverDialogs, key::Input, input, section);
    for (auto it = controls.cbegin(); it != controls.cend(); ++it)
        ini.writeInteger(section, controlKey(it.key()), it.value());
}

V4l2Driver::V4l2Driver(std::shared_ptr<V4l2Backend> backend, QString node, V4l2Capability cap,
                       QString programFolder)
    : backend_(std::move(backend)), node_(std::move(node)), cap_(std::move(cap)),
      programFolder_(std::move(programFolder)) {}

DriverDescription V4l2Driver::description() const {
    return {cap_.card, v4l2VersionText(cap_.version)};
}

DriverCaps V4l2Driver::caps() const {
    DriverCaps c;
    c.hasFormatDialog = true;
    c.hasSourceDialog = true;
    return c;
}

QString V4l2Driver::deviceKey() const {
    // A camera without bus information is known by its name, like its settings section.
    return cap_.busInfo.isEmpty() ? QStringLiteral("card:") + cap_.card
                                  : QStringLiteral("bus:") + cap_.busInfo;
}

QString V4l2Driver::deviceFolder() const {
    return backend_->deviceFolder();
}

QString V4l2Driver::settingsSection() const {
    return sectionName(cap_.busInfo.isEmpty() ? cap_.card : cap_.busInfo);
}

QString V4l2Driver::settingsFile() const {
    return resolveIn(programFolder_, QString::fromLatin1(DriverFile));
}

SourceSpec V4l2Driver::source() const {
    QMap<QString, QString> options;
    // A device that cannot be asked is still named to FFmpeg, whose failure to open it
    // is the connect error the user sees.
    if (std::unique_ptr<V4l2Device> device = backend_->open(node_)) {
        const QList<V4l2Control> controls = device->controls();
        const DeviceSettings stored =
            DeviceSettings::read(IniFile(settingsFile()), settingsSection(), controls);
        options = demuxerOptions(negotiateFormat(device->formats(), stored.format));
        if (stored.input >= 0 && stored.input < device->inputs().size())
            options.insert(QStringLiteral("channel"), QString::number(stored.input));
        // In the device's order, so an automatic mode is switched off before the value it
        // governs is set.
        for (const V4l2Control& c : controls)
            if (c.isSettable() && stored.controls.contains(c.id))
                device->setControl(c.id, std::clamp(stored.controls.value(c.id), c.minimum,
                                                    std::max(c.minimum, c.maximum)));
    }
    SourceSpec spec = backend_->stream(node_, options);
    spec.device = true;
    if (spec.stallTimeoutMs == 0) spec.stallTimeoutMs = StallTimeoutMs;
    return spec;
}

bool V4l2Driver::showFormatDialog(QWidget* parent) {
    std::unique_ptr<V4l2Device> device = backend_->open(node_);
    if (!device) return false;
    IniFile ini(settingsFile());
    const QList<V4l2Format> usable = usableFormats(device->formats());
    device.reset(); // the dialog needs only the list
    DeviceSettings stored = DeviceSettings::read(ini, settingsSection());
    TDlgVideoFormat dialog(usable, negotiateFormat(usable, stored.format), parent);
    if (execDriverDialog(dialog) != QDialog::Accepted) return false;
    DeviceSettings chosen;
    chosen.format = dialog.choice();
    chosen.write(ini, settingsSection());
    return true;
}

bool V4l2Driver::showSourceDialog(QWidget* parent) {
    std::unique_ptr<V4l2Device> device = backend_->open(node_);
    if (!device) return false;
    IniFile ini(settingsFile());
    const QList<V4l2Control> controls = device->controls();
    const DeviceSettings stored = DeviceSettings::read(ini, settingsSection(), controls);
    const QStringList inputs = device->inputs();
    int input =
        stored.input >= 0 && stored.input < inputs.size() ? stored.input : device->currentInput();
    TDlgVideoSource dialog(*device, inputs, input, parent);
    // Changes show at once on the live picture; a cancelled dialog puts them back.
    if (execDriverDialog(dialog) != QDialog::Accepted) {
        dialog.restoreControls();
        return false;
    }
    DeviceSettings chosen;
    chosen.input = dialog.input();
    // Values at the device's default are stored only to overwrite an earlier choice.
    const QMap<quint32, int> values = dialog.controlValues();
    for (const V4l2Control& c : controls) {
        if (!values.contains(c.id)) continue;
        const int value = values.value(c.id);
        if (value != c.defaultValue || stored.controls.contains(c.id))
            chosen.controls.insert(c.id, value);
    }
    chosen.write(ini, settingsSection());
    return true;
}

} // namespace ostrel
