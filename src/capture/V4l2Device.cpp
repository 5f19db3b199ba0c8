#include "capture/V4l2Device.h"
#include "platform/FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

QString FrameRate::toString() const {
    if (!isValid()) return {};
    if (den == 1) return QString::number(num);
    return QStringLiteral("%1/%2").arg(num).arg(den);
}

FrameRate FrameRate::fromString(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('/'));
    if (parts.isEmpty() || parts.size() > 2) return {};
    bool ok = false;
    FrameRate rate;
    rate.num = parts[0].toInt(&ok);
    if (!ok) return {};
    if (parts.size() == 2) {
        rate.den = parts[1].toInt(&ok);
        if (!ok) return {};
    }
    return rate.isValid() ? rate : FrameRate{};
}

QString v4l2VersionText(quint32 version) {
    return QStringLiteral("%1.%2.%3")
        .arg((version >> 16) & 0xFF)
        .arg((version >> 8) & 0xFF)
        .arg(version & 0xFF);
}

QString fourccText(quint32 fourcc) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fourcc >> (8 * i)) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('?');
    }
    return text;
}

quint32 fourccFromText(const QString& text) {
    if (text.size() != 4) return 0;
    quint32 code = 0;
    for (int i = 0; i < 4; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c >= 0x7F) return 0;
        code |= quint32(c) << (8 * i);
    }
    return code;
}

namespace {

int xioctl(int fd, unsigned long request, void* arg) {
    int rc;
    do {
        rc = ::ioctl(fd, request, arg);
    } while (rc == -1 && errno == EINTR);
    return rc;
}

// Fixed-size, not necessarily terminated strings of the V4L2 structures.
template <size_t N> QString fieldText(const __u8 (&field)[N]) {
    const char* text = reinterpret_cast<const char*>(field);
    return QString::fromUtf8(text, qsizetype(strnlen(text, N))).trimmed();
}

// Bounds on what a misbehaving driver can make the enumeration loops do.
constexpr __u32 MaxEntries = 256;

// Sizes offered for devices that give a range instead of a list.
constexpr QSize CommonSizes[] = {{160, 120},   {176, 144},   {320, 240},   {352, 288},
                                 {640, 360},   {640, 480},   {800, 600},   {960, 540},
                                 {1024, 768},  {1280, 720},  {1280, 960},  {1280, 1024},
                                 {1600, 1200}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
constexpr int CommonRates[] = {60, 50, 30, 25, 20, 15, 10, 5, 1};

bool onStep(__u32 value, __u32 minimum, __u32 maximum, __u32 step) {
    if (value < minimum || value > maximum) return false;
    return step <= 1 || (value - minimum) % step == 0;
}

class LinuxV4l2Device : public V4l2Device {
public:
    static std::unique_ptr<LinuxV4l2Device> open(const QString& path) {
        // Non-blocking: opening must never wait for a busy or slow device.
        FileDescriptor fd(::open(QFile::encodeName(path).constData(),
                                 O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (!fd) return nullptr;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISCHR(st.st_mode)) return nullptr;
        v4l2_capability raw{};
        if (xioctl(fd.get(), VIDIOC_QUERYCAP, &raw) != 0) return nullptr;
        V4l2Capability cap;
        cap.driver = fieldText(raw.driver);
        cap.card = fieldText(raw.card);
        cap.busInfo = fieldText(raw.bus_info);
        cap.version = raw.version;
        // A node's own abilities; the device-wide ones cover the metadata node of a
        // camera too, which delivers no pictures.
        const __u32 caps =
            (raw.capabilities & V4L2_CAP_DEVICE_CAPS) ? raw.device_caps : raw.capabilities;
        cap.canCapture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
        return std::unique_ptr<LinuxV4l2Device>(new LinuxV4l2Device(std::move(fd), cap));
    }

    V4l2Capability capability() const override { return cap_; }

    QList<V4l2Format> formats() override {
        QList<V4l2Format> list;
        for (__u32 index = 0; index < MaxEntries; ++index) {
            v4l2_fmtdesc desc{};
            desc.index = index;
            desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (xioctl(fd_.get(), VIDIOC_ENUM_FMT, &desc) != 0) break;
            V4l2Format format;
            format.fourcc = desc.pixelformat;
            format.description = fieldText(desc.description);
            format.compressed = (desc.flags & V4L2_FMT_FLAG_COMPRESSED) != 0;
            format.sizes = frameSizes(desc.pixelformat);
            list.append(format);
        }
        return list;
    }

    QStringList inputs() override {
        QStringList list;
        for (__u32 index = 0; index < MaxEntries; ++index) {
            v4l2_input input{};
            input.index = index;
            if (xioctl(fd_.get(), VIDIOC_ENUMINPUT, &input) != 0) break;
            list << fieldText(input.name);
        }
        return list;
    }

    int currentInput() override {
        int index = -1;
        return xioctl(fd_.get(), VIDIOC_G_INPUT, &index) == 0 ? index : -1;
    }

    QList<V4l2Control> controls() override {
        QList<V4l2Control> list;
        __u32 lastId = 0;
        for (__u32 count = 0; count < MaxEntries * 4; ++count) {
            v4l2_queryctrl query{};
            query.id = lastId | V4L2_CTRL_FLAG_NEXT_CTRL;
            if (xioctl(fd_.get(), VIDIOC_QUERYCTRL, &query) != 0) break;
            if ((query.id & ~V4L2_CTRL_FLAG_NEXT_CTRL) <= lastId) break; // not moving on
            lastId = query.id;
            if (query.flags & V4L2_CTRL_FLAG_DISABLED) continue;
            if (query.type == V4L2_CTRL_TYPE_CTRL_CLASS) continue;
            V4l2Control control;
            control.id = query.id;
            control.name = fieldText(query.name);
            control.minimum = query.minimum;
            control.maximum = query.maximum;
            control.step = std::max(query.step, 1);
            control.defaultValue = query.default_value;
            control.readOnly =
                (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
            control.inactive = (query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
            switch (query.type) {
            case V4L2_CTRL_TYPE_INTEGER:
                control.type = V4l2Control::Type::Integer;
                break;
            case V4L2_CTRL_TYPE_BOOLEAN:
                control.type = V4l2Control::Type::Boolean;
                break;
            case V4L2_CTRL_TYPE_MENU:
                control.type = V4l2Control::Type::Menu;
                break;
            case V4L2_CTRL_TYPE_INTEGER_MENU:
                control.type = V4l2Control::Type::IntegerMenu;
                break;
            case V4L2_CTRL_TYPE_BUTTON:
                control.type = V4l2Control::Type::Button;
                break;
            default:
                control.type = V4l2Control::Type::Other;
                break;
            }
            if (control.type == V4l2Control::Type::Menu ||
                control.type == V4l2Control::Type::IntegerMenu)
                control.menu = menuEntries(query);
            list.append(control);
        }
        return list;
    }

    std::optional<int> control(quint32 id) override {
        v4l2_control value{};
        value.id = id;
        if (xioctl(fd_.get(), VIDIOC_G_CTRL, &value) != 0) return std::nullopt;
        return value.value;
    }

    bool setControl(quint32 id, int value) override {
        v4l2_control c{};
        c.id = id;
        c.value = value;
        return xioctl(fd_.get(), VIDIOC_S_CTRL, &c) == 0;
    }

private:
    LinuxV4l2Device(FileDescriptor fd, V4l2Capability cap)
        : fd_(std::move(fd)), cap_(std::move(cap)) {}

    QList<V4l2FrameSize> frameSizes(__u32 pixelFormat) {
        QList<QSize> sizes;
        for (__u32 index = 0; index < MaxEntries; ++index) {
            v4l2_frmsizeenum e{};
            e.index = index;
            e.pixel_format = pixelFormat;
            if (xioctl(fd_.get(), VIDIOC_ENUM_FRAMESIZES, &e) != 0) break;
            if (e.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes << QSize(int(e.discrete.width), int(e.discrete.height));
                continue;
            }
            const v4l2_frmsize_stepwise& s = e.stepwise;
            for (const QSize& common : CommonSizes)
                if (onStep(__u32(common.width()), s.min_width, s.max_width, s.step_width) &&
                    onStep(__u32(common.height()), s.min_height, s.max_height, s.step_height))
                    sizes << common;
            sizes << QSize(int(s.max_width), int(s.max_height));
            break; // a range is the only entry
        }
        std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
            const qint64 areaA = qint64(a.width()) * a.height();
            const qint64 areaB = qint64(b.width()) * b.height();
            return areaA != areaB ? areaA < areaB : a.width() < b.width();
        });
        sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
        QList<V4l2FrameSize> list;
        for (const QSize& size : sizes)
            if (size.width() > 0 && size.height() > 0)
                list.append({size, frameRates(pixelFormat, size)});
        return list;
    }

    QList<FrameRate> frameRates(__u32 pixelFormat, QSize size) {
        QList<FrameRate> rates;
        for (__u32 index = 0; index < MaxEntries; ++index) {
            v4l2_frmivalenum e{};
            e.index = index;
            e.pixel_format = pixelFormat;
            e.width = __u32(size.width());
            e.height = __u32(size.height());
            if (xioctl(fd_.get(), VIDIOC_ENUM_FRAMEINTERVALS, &e) != 0) break;
            if (e.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                // An interval of num/den seconds is a rate of den/num frames per second.
                const FrameRate rate{int(e.discrete.denominator), int(e.discrete.numerator)};
                if (rate.isValid()) rates << rate;
                continue;
            }
            const v4l2_fract& fastest = e.stepwise.min;
            const v4l2_fract& slowest = e.stepwise.max;
            if (fastest.numerator == 0 || slowest.numerator == 0) break;
            const double maxRate = double(fastest.denominator) / fastest.numerator;
            const double minRate = double(slowest.denominator) / slowest.numerator;
            const FrameRate top{int(fastest.denominator), int(fastest.numerator)};
            if (top.isValid()) rates << top;
            for (int common : CommonRates)
                if (common < maxRate && common >= minRate) rates << FrameRate{common, 1};
            break;
        }
        std::sort(rates.begin(), rates.end(),
                  [](const FrameRate& a, const FrameRate& b) { return a.value() > b.value(); });
        rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
        return rates;
    }

    QList<QPair<int, QString>> menuEntries(const v4l2_queryctrl& query) {
        QList<QPair<int, QString>> entries;
        if (query.maximum < query.minimum ||
            qint64(query.maximum) - query.minimum > qint64(MaxEntries))
            return entries;
        for (qint64 index = query.minimum; index <= query.maximum; ++index) {
            v4l2_querymenu item{};
            item.id = query.id;
            item.index = __u32(index);
            if (xioctl(fd_.get(), VIDIOC_QUERYMENU, &item) != 0) continue; // gaps are allowed
            const QString text = query.type == V4L2_CTRL_TYPE_INTEGER_MENU
                                     ? QString::number(item.value)
                                     : fieldText(item.name);
            entries.append({int(index), text});
        }
        return entries;
    }

    FileDescriptor fd_;
    V4l2Capability cap_;
};

class LinuxV4l2 : public V4l2Backend {
public:
    explicit LinuxV4l2(QString folder) : folder_(std::move(folder)) {}

    QList<Node> nodes() override {
        static const QRegularExpression name(QStringLiteral("^video(\\d+)$"));
        QList<QPair<qint64, Node>> found;
        const QDir dir(folder_);
        const QStringList entries =
            dir.entryList({QStringLiteral("video*")},
                          QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            const QRegularExpressionMatch m = name.match(entry);
            if (!m.hasMatch()) continue;
            bool ok = false;
            const qint64 number = m.captured(1).toLongLong(&ok);
            if (!ok) continue;
            const QString path = dir.filePath(entry);
            struct stat st {};
            if (::stat(QFile::encodeName(path).constData(), &st) != 0) continue;
            // A node made again (the camera plugged in again) has a new change time.
            const QString identity = QStringLiteral("%1:%2.%3")
                                         .arg(quint64(st.st_rdev))
                                         .arg(qint64(st.st_ctim.tv_sec))
                                         .arg(qint64(st.st_ctim.tv_nsec));
            found.append({number, Node{path, identity}});
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<Node> list;
        for (const auto& entry : found)
            list.append(entry.second);
        return list;
    }

    std::unique_ptr<V4l2Device> open(const QString& path) override {
        return LinuxV4l2Device::open(path);
    }

    SourceSpec stream(const QString& path, const QMap<QString, QString>& options) override {
        SourceSpec spec;
        spec.inputFormat = QStringLiteral("video4linux2");
        spec.url = path;
        spec.options = options;
        spec.paced = true;
        spec.nonBlocking = true;
        return spec;
    }

    QString deviceFolder() const override { return folder_; }

private:
    QString folder_;
};

} // namespace

std::shared_ptr<V4l2Backend> linuxV4l2(const QString& deviceFolder) {
    return std::make_shared<LinuxV4l2>(deviceFolder);
}

} // namespace ostrel
