// The V4L2 drivers above the ioctls, on scripted cameras whose frames come from FFmpeg
// stand-ins: which devices become drivers 1 to 9, the format negotiation and the demuxer
// options it gives, what vcap.sif keeps per device, the Video Format, Video Source and
// Video Compression dialogs, the formats cameras deliver (Motion-JPEG, packed and planar
// YUV) converted to 24-bit BGR, sources that end, fail, fall silent or send only junk
// reported as a lost device, and the virtual camera's Video Source dialog.
#include "../common/FreshFolder.h"
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "StandInSources.h"
#include "capture/DlgCompression.h"
#include "capture/DlgVideoFormat.h"
#include "capture/DlgVideoSource.h"
#include "capture/DlgVirtualSource.h"
#include "capture/V4l2Driver.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgCompression.h"
#include "ui_DlgVideoFormat.h"
#include "ui_DlgVideoSource.h"
#include "ui_DlgVirtualSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QString optionsText(const QMap<QString, QString>& options) {
    QStringList parts;
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + it.value();
    return parts.join(QLatin1Char(' '));
}

FormatChoice choice(quint32 fourcc, QSize size = {}, int rate = 0) {
    FormatChoice c;
    c.fourcc = fourcc;
    c.size = size;
    if (rate > 0) c.rate = FrameRate{rate, 1};
    return c;
}

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// A dialog's control by its accessible name, as a screen reader finds it.
template <typename T> T* findNamed(QWidget& parent, const QString& accessibleName) {
    for (T* w : parent.findChildren<T*>())
        if (w->accessibleName() == accessibleName) return w;
    qFatal("no control named \"%s\"", qPrintable(accessibleName));
    return nullptr;
}

// Every bar's centre within `tolerance` of its colour; an empty string when it is.
QString compareBars(const QImage& frame, int tolerance) {
    for (int bar = 0; bar < 4; ++bar) {
        const int x = bar * frame.width() / 4 + frame.width() / 8;
        const QColor wanted = barAt(x, frame.width());
        for (int y : {frame.height() / 4, frame.height() / 2, frame.height() * 3 / 4}) {
            const QColor seen = frame.pixelColor(x, y);
            if (qAbs(seen.red() - wanted.red()) > tolerance ||
                qAbs(seen.green() - wanted.green()) > tolerance ||
                qAbs(seen.blue() - wanted.blue()) > tolerance)
                return QString::number(bar) + ": " + seen.name() + ", expected " + wanted.name();
        }
    }
    return {};
}

struct Negotiation {
    QList<V4l2Format> offered;
    FormatChoice wanted;
    QString options;
};
struct CompressionRow {
    int index;
    bool confirm;
    int expectedQuality, expectedShown;
};
struct ConversionRow {
    quint32 fourcc;
    QString inputFormat;
    int tolerance;
    QByteArray frame;
};
struct VirtualSourceRow {
    QString file;
    bool accepted;
    QString error;
};

} // namespace

Q_DECLARE_METATYPE(Negotiation)
Q_DECLARE_METATYPE(CompressionRow)
Q_DECLARE_METATYPE(ConversionRow)
Q_DECLARE_METATYPE(VirtualSourceRow)

class TestV4l2 : public QObject {
    Q_OBJECT
private slots:

    void init() {
        QVERIFY(folder_.renew());
        v4l2_ = std::make_shared<ScriptedV4l2>();
    }

    // ---- which devices are drivers -----------------------------------------------------------

    void enumeration() {
        auto first = v4l2_->add(QStringLiteral("First"));
        v4l2_->add(QStringLiteral("Metadata"))->cap.canCapture = false; // no pictures: left out
        v4l2_->add(QStringLiteral("Closed"))->opens = false;            // left out too
        v4l2_->add(QStringLiteral("Second"));
        auto drivers = systemDrivers(folder_.dir.path(), v4l2_);
        TVideoCapture video(drivers, folder_.dir.path());
        // The network camera always comes last.
        QCOMPARE(video.ListDrivers(), (QStringList{"Ostrel Virtual Camera 1.0", "First 5.10.0",
                                                   "Second 5.10.0", "Ostrel Network Camera 1.0"}));
        auto name = [&](int index) { return drivers->driver(index)->description().name; };
        const int opens = v4l2_->opens;
        QCOMPARE(name(2), QStringLiteral("Second"));
        QVERIFY(!drivers->driver(4));
        QCOMPARE(v4l2_->opens, opens); // nothing changed: no device is asked again
        v4l2_->cameras.removeFirst();  // unplugged
        QCOMPARE(name(1), QStringLiteral("Second"));
        QCOMPARE(name(2), QStringLiteral("Ostrel Network Camera"));
        first->identity = QStringLiteral("2"); // plugged in again: a new node
        first->cap.card = QStringLiteral("First again");
        v4l2_->cameras.prepend(first);
        QCOMPARE(name(1), QStringLiteral("First again"));
        QCOMPARE(name(2), QStringLiteral("Second"));
        for (int i = 0; i < 12; ++i)
            v4l2_->add(QStringLiteral("Cam %1").arg(i));
        const QStringList listed = video.ListDrivers(); // only eight cameras fit
        QCOMPARE(listed.size(), 10);
        QCOMPARE(listed.at(8), QStringLiteral("Cam 5 5.10.0"));
        QCOMPARE(listed.last(), QStringLiteral("Ostrel Network Camera 1.0"));
    }

    void machineNodesInNumberOrder() {
        // Not devices: the names are sorted and filtered, and nothing here opens as one.
        QDir dir(folder_.dir.path());
        for (const char* name : {"video10", "video2", "video1", "videox", "vbi0", "video"}) {
            QVERIFY(writeRepeated(dir.filePath(QString::fromLatin1(name)), {}, 0));
        }
        auto machine = linuxV4l2(folder_.dir.path());
        QStringList paths;
        for (const V4l2Backend::Node& n : machine->nodes())
            paths << QFileInfo(n.path).fileName();
        QCOMPARE(paths, (QStringList{"video1", "video2", "video10"}));
        QVERIFY(!machine->open(dir.filePath(QStringLiteral("video1"))));
        QVERIFY(!linuxV4l2()->open(QStringLiteral("/dev/null"))); // a device, but not V4L2
        QVERIFY(!linuxV4l2()->open(QStringLiteral("/dev/ostrel-no-such-node")));
    }

    // ---- format negotiation ------------------------------------------------------------------

    void negotiation_data() {
        QTest::addColumn<Negotiation>("row");

        const QList<V4l2Format> webcam = webcamFormats();
        const quint32 yuyv = V4L2_PIX_FMT_YUYV;
        const quint32 mjpg = V4L2_PIX_FMT_MJPEG;
        QTest::newRow("nothing stored: 640x480, raw on a tie, 30 fps") << Negotiation{
            webcam, FormatChoice{}, "framerate=30 input_format=yuyv422 video_size=640x480"};
        QTest::newRow("a size: the format that gives it fastest") << Negotiation{
            webcam, choice(0, {1280, 720}), "framerate=30 input_format=mjpeg video_size=1280x720"};
        QTest::newRow("format, size and rate as stored")
            << Negotiation{webcam, choice(yuyv, {1280, 720}, 5),
                           "framerate=5 input_format=yuyv422 video_size=1280x720"};
        QTest::newRow("a rate not offered: the fastest up to 30")
            << Negotiation{webcam, choice(mjpg, {1280, 720}, 60),
                           "framerate=30 input_format=mjpeg video_size=1280x720"};
        QTest::newRow("a size the stored format lacks")
            << Negotiation{webcam, choice(yuyv, {1920, 1080}, 30),
                           "framerate=30 input_format=yuyv422 video_size=640x480"};
        QTest::newRow("a format this camera lacks")
            << Negotiation{webcam, choice(V4L2_PIX_FMT_GREY, {1920, 1080}),
                           "framerate=30 input_format=mjpeg video_size=1920x1080"};
        QTest::newRow("never a format FFmpeg cannot read")
            << Negotiation{webcam, choice(v4l2_fourcc('Y', '1', '0', 'B'), {800, 600}, 60),
                           "framerate=30 input_format=yuyv422 video_size=640x480"};

        const QList<V4l2Format> large{format(
            mjpg, "MJPEG", {frameSize(1920, 1080, {60, 30}), frameSize(1280, 720, {60, 30})})};
        QTest::newRow("nothing up to 640x480: the smallest") << Negotiation{
            large, FormatChoice{}, "framerate=30 input_format=mjpeg video_size=1280x720"};
        const QList<V4l2Format> fast{format(mjpg, "MJPEG", {frameSize(640, 480, {60, 50})})};
        QTest::newRow("every rate above 30: the slowest") << Negotiation{
            fast, FormatChoice{}, "framerate=50 input_format=mjpeg video_size=640x480"};
        const QList<V4l2Format> small{format(
            yuyv, "YUYV",
            {frameSize(160, 120, {30}), frameSize(352, 288, {30}), frameSize(800, 600, {15})})};
        QTest::newRow("no 640x480: the largest below") << Negotiation{
            small, FormatChoice{}, "framerate=30 input_format=yuyv422 video_size=352x288"};
        const QList<V4l2Format> silent{format(V4L2_PIX_FMT_NV12, "NV12", {}),
                                       format(yuyv, "YUYV", {frameSize(640, 480, {})})};
        QTest::newRow("sizes not listed: only the format")
            << Negotiation{QList<V4l2Format>{silent[0]}, FormatChoice{}, "input_format=nv12"};
        QTest::newRow("rates not listed: no rate")
            << Negotiation{QList<V4l2Format>{silent[1]}, FormatChoice{},
                           "input_format=yuyv422 video_size=640x480"};
        QTest::newRow("nothing readable: the device decides")
            << Negotiation{QList<V4l2Format>{webcam[2]}, choice(yuyv, {640, 480}, 30), ""};
    }

    void negotiation() {
        QFETCH(Negotiation, row);
        QCOMPARE(optionsText(demuxerOptions(negotiateFormat(row.offered, row.wanted))),
                 row.options);
    }

    void storedChoicesReachTheDemuxer() {
        auto a =
            v4l2_->addWebcam(QStringLiteral("HD Webcam"), QStringLiteral("usb-0000:00:14.0-1"));
        auto b =
            v4l2_->addWebcam(QStringLiteral("HD Webcam")); // the same model, no bus information
        b->inputs.clear();
        const QMap<quint32, int> defaults = b->values;
        QVERIFY(writeRepeated(
            settingsFile(),
            "[Device usb-0000:00:14.0-1]\r\nPixel_Format=MJPG\r\nWidth=1280\r\nHeight=720\r\n"
            "Frame_Rate=15\r\nInput=1\r\nControl_00980900=300\r\n"
            "Control_0098091a=3000\r\nControl_0098090c=0\r\n"
            "[Device HD Webcam]\r\nWidth=320\r\nHeight=240\r\nInput=7\r\n",
            1));

        auto drivers = systemDrivers(folder_.dir.path(), v4l2_);
        const SourceSpec spec = drivers->driver(1)->source();
        QCOMPARE(optionsText(v4l2_->streamed.last()),
                 QStringLiteral("channel=1 framerate=15 input_format=mjpeg video_size=1280x720"));
        QVERIFY(spec.device);
        QCOMPARE(spec.stallTimeoutMs, V4l2Driver::StallTimeoutMs);
        // Clamped to the control's range, and the automatic mode off before the temperature.
        QCOMPARE(a->values.value(V4L2_CID_BRIGHTNESS), 255);
        QCOMPARE(a->values.value(V4L2_CID_AUTO_WHITE_BALANCE), 0);
        QCOMPARE(a->values.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3000);

        drivers->driver(2)->source(); // its own section; an input it does not have is not asked
        QCOMPARE(optionsText(v4l2_->streamed.last()),
                 QStringLiteral("framerate=30 input_format=yuyv422 video_size=320x240"));
        QCOMPARE(b->values, defaults);

        // The real machine's stream is FFmpeg's video4linux2 input, read without blocking.
        const SourceSpec machine =
            linuxV4l2()->stream(QStringLiteral("/dev/video0"),
                                {{QStringLiteral("input_format"), QStringLiteral("mjpeg")}});
        QCOMPARE(machine.inputFormat, QStringLiteral("video4linux2"));
        QCOMPARE(machine.url, QStringLiteral("/dev/video0"));
        QVERIFY(machine.paced);
        QVERIFY(machine.nonBlocking);
    }

    // ---- Video Format, Video Source, Video Compression ---------------------------------------

    void formatDialog() {
        v4l2_->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"))->formats = webcamFormats();
        TVideoCapture video(systemDrivers(folder_.dir.path(), v4l2_), folder_.dir.path());
        video.setDriverIndex(1);
        // Cancelled: nothing kept.
        auto cancel = std::make_unique<DialogScript>([](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoFormat&>(d);
            dialog.ui()->cbPixelFormat->setCurrentIndex(1);
            dialog.ui()->CancelBtn->click();
            return dialog.result();
        });
        QVERIFY(!video.ShowFormatDialog());
        QVERIFY(!QFile::exists(settingsFile()));
        cancel.reset();

        video.setDriverOpen(true);
        QCOMPARE(video.imageWidth(), quint16(640));
        QStringList offered;
        DialogScript script([&](QDialog& d) {
            auto* ui = dynamic_cast<TDlgVideoFormat&>(d).ui();
            offered << ui->cbPixelFormat->currentText() + " " + ui->cbFrameSize->currentText() +
                           " " + ui->cbFrameRate->currentText()
                    << itemsOf(ui->cbPixelFormat);
            ui->cbPixelFormat->setCurrentIndex(1);
            offered << itemsOf(ui->cbFrameSize);
            ui->cbFrameSize->setCurrentText(QStringLiteral("1280 x 720"));
            offered << itemsOf(ui->cbFrameRate);
            ui->cbFrameRate->setCurrentText(QStringLiteral("15 frames per second"));
            ui->OKBtn->click();
            return d.result();
        });
        QSignalSpy status(&video, &TVideoCapture::OnStatus);
        QVERIFY(video.ShowFormatDialog());
        // Preselected what runs; offered only what FFmpeg reads, then the sizes and rates of
        // the format chosen.
        QCOMPARE(offered, (QStringList{"YUYV 4:2:2 (YUYV) 640 x 480 30 frames per second",
                                       "YUYV 4:2:2 (YUYV)", "Motion-JPEG (MJPG)", "320 x 240",
                                       "640 x 480", "1280 x 720", "1920 x 1080",
                                       "30 frames per second", "15 frames per second"}));
        // Reconnected with the choice, the status reported once.
        QCOMPARE(optionsText(v4l2_->streamed.last()),
                 QStringLiteral("framerate=15 input_format=mjpeg video_size=1280x720"));
        QCOMPARE(status.count(), 1);
        const IniFile ini(settingsFile());
        QCOMPARE(ini.readString("Device usb-1", "Pixel_Format", ""), QStringLiteral("MJPG"));
        QCOMPARE(ini.readString("Device usb-1", "Frame_Rate", ""), QStringLiteral("15"));
    }

    void sourceDialog() {
        auto camera = v4l2_->addWebcam(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"));
        auto video = capture(1, false);
        auto stored = [&](const char* key) {
            return IniFile(settingsFile()).readInteger("Device usb-1", key, -1);
        };
        // Closed, without inputs: the dialog opens the device for its time. Cancelled, the
        // automatic mode goes back on after the value it governs, or the camera refuses it.
        camera->inputs.clear();
        const QMap<quint32, int> values = camera->values;
        auto script = std::make_unique<DialogScript>([&](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
            findNamed<QCheckBox>(dialog, "White Balance, Automatic")->click();
            findNamed<QSlider>(dialog, "White Balance Temperature")->setValue(3000);
            findNamed<QSlider>(dialog, "Brightness")->setValue(10);
            dialog.ui()->CancelBtn->click();
            return dialog.result();
        });
        QVERIFY(!video->ShowSourceDialog());
        QCOMPARE(camera->values, values);
        QVERIFY(!QFile::exists(settingsFile()));

        // Defaults: every control back to the device's default at once.
        camera->values[V4L2_CID_BRIGHTNESS] = 7;
        script.reset();
        script = std::make_unique<DialogScript>([&](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
            dialog.ui()->btnDefaults->click();
            [&] {
                QCOMPARE(camera->values.value(V4L2_CID_BRIGHTNESS), 128);
                QCOMPARE(findNamed<QSlider>(dialog, "Brightness")->value(), 128);
            }();
            dialog.ui()->OKBtn->click();
            return dialog.result();
        });
        QVERIFY(video->ShowSourceDialog());
        QCOMPARE(stored("Control_00980900"), -1); // a value at the default is not kept

        // Open, with its inputs: controls are set live and the new input reconnects.
        camera->inputs = QStringList{"Camera 1", "Composite"};
        video->setDriverOpen(true);
        bool temperatureLockedFirst = false, temperatureFreedAfter = false;
        script.reset();
        script = std::make_unique<DialogScript>([&](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
            findNamed<QSlider>(dialog, "Brightness")->setValue(200);
            [&] { QCOMPARE(camera->values.value(V4L2_CID_BRIGHTNESS), 200); }(); // at once
            findNamed<QSpinBox>(dialog, "Contrast value")->setValue(40);
            auto* temperature = findNamed<QSlider>(dialog, "White Balance Temperature");
            temperatureLockedFirst = !temperature->isEnabled();
            findNamed<QCheckBox>(dialog, "White Balance, Automatic")->click();
            temperatureFreedAfter = temperature->isEnabled();
            temperature->setValue(3500);
            auto* power = findNamed<QComboBox>(dialog, "Power Line Frequency");
            power->setCurrentIndex(2);
            emit power->activated(2);
            dialog.ui()->cbInput->setCurrentIndex(1);
            dialog.ui()->OKBtn->click();
            return dialog.result();
        });
        QVERIFY(video->ShowSourceDialog());
        QVERIFY(temperatureLockedFirst);
        QVERIFY(temperatureFreedAfter);
        QCOMPARE(camera->values.value(V4L2_CID_CONTRAST), 40);
        QCOMPARE(camera->values.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3500);
        QCOMPARE(camera->values.value(V4L2_CID_POWER_LINE_FREQUENCY), 2);
        // The new input needs a new connection.
        QCOMPARE(v4l2_->streamed.last().value("channel"), QStringLiteral("1"));
        QVERIFY(video->DriverOpen());
        for (const auto& [key, value] : {std::pair{"Control_00980900", 200},
                                         {"Control_0098090c", 0},
                                         {"Input", 1},
                                         {"Control_0098091a", 3500},
                                         {"Control_00980918", 2},
                                         {"Control_00980901", 40}})
            QCOMPARE(stored(key), value);

        // A control change alone reaches the running device without a new connection.
        const int before = int(v4l2_->streamed.size());
        script.reset(); // before the next one is installed
        script = std::make_unique<DialogScript>([&](QDialog& d) {
            findNamed<QSlider>(d, "Brightness")->setValue(100);
            dynamic_cast<TDlgVideoSource&>(d).ui()->OKBtn->click();
            return d.result();
        });
        QVERIFY(video->ShowSourceDialog());
        QCOMPARE(v4l2_->streamed.size(), before + 1); // asked for its source, not reconnected
        QVERIFY(video->DriverOpen());
        QCOMPARE(stored("Control_00980900"), 100);
    }

    void compressionDialog_data() {
        QTest::addColumn<CompressionRow>("row");
        QTest::newRow("confirmed") << CompressionRow{0, true, 40, 1};
        QTest::newRow("cancelled") << CompressionRow{0, false, DefaultCompressionQuality, 1};
        QTest::newRow("no driver") << CompressionRow{-1, true, DefaultCompressionQuality, 0};
    }

    void compressionDialog() {
        QFETCH(CompressionRow, row);
        const auto [index, confirm, expectedQuality, expectedShown] = row;
        auto video = capture(index, false);
        int shown = 0, preset = 0;
        bool openWhileShown = false;
        DialogScript script([&, confirm = confirm](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoCompression&>(d);
            ++shown;
            preset = dialog.ui()->tbQuality->value();
            openWhileShown = video->DriverOpen();
            dialog.ui()->tbQuality->setValue(40);
            (confirm ? dialog.ui()->OKBtn : dialog.ui()->CancelBtn)->click();
            return dialog.result();
        });
        QSignalSpy status(video.get(), &TVideoCapture::OnStatus);
        QCOMPARE(video->ShowCompressionDialog(), confirm && expectedShown > 0);
        QCOMPARE(shown, expectedShown);
        QCOMPARE(status.count(), expectedShown); // the temporary open's only
        if (shown) {
            QCOMPARE(preset, DefaultCompressionQuality);
            QVERIFY(openWhileShown);
        }
        QVERIFY(!video->DriverOpen());
        QCOMPARE(video->CompressionQuality(), expectedQuality);
        QCOMPARE(readCompressionQuality(folder_.dir.path()),
                 expectedQuality); // kept across starts
    }

    // ---- frames of cameras
    // -------------------------------------------------------------------

    void conversion_data() {
        QTest::addColumn<ConversionRow>("row");
        const QSize qvga(320, 240); // the largest size offered below 640 x 480
        // JPEG is lossy; the raw formats lose only the rounding of the colour conversion.
        QTest::newRow("Motion-JPEG")
            << ConversionRow{V4L2_PIX_FMT_MJPEG, "mjpeg", 12, jpegFrame(qvga)};
        QTest::newRow("YUYV 4:2:2 packed")
            << ConversionRow{V4L2_PIX_FMT_YUYV, "yuyv422", 5, packedFrame(qvga, false)};
        QTest::newRow("UYVY 4:2:2 packed")
            << ConversionRow{V4L2_PIX_FMT_UYVY, "uyvy422", 5, packedFrame(qvga, true)};
        QTest::newRow("NV12 4:2:0")
            << ConversionRow{V4L2_PIX_FMT_NV12, "nv12", 5, planarFrame(qvga, true)};
        QTest::newRow("YUV 4:2:0 planar")
            << ConversionRow{V4L2_PIX_FMT_YUV420, "yuv420p", 5, planarFrame(qvga, false)};
    }

    void conversion() {
        QFETCH(ConversionRow, row);
        v4l2_->add(QStringLiteral("Stand-in"))->formats = {
            format(row.fourcc, fourccText(row.fourcc),
                   {frameSize(160, 120, {30}), frameSize(320, 240, {30})})};
        SourceSpec s;
        s.url = QDir(folder_.dir.path()).filePath(QStringLiteral("frames"));
        QVERIFY(writeRepeated(s.url, row.frame, 15));
        s.inputFormat = row.inputFormat == "mjpeg" ? row.inputFormat : QStringLiteral("rawvideo");
        s.loop = true;
        // Read as the camera is: without blocking (which skips the probe where the header
        // tells the picture size, as FFmpeg's video4linux2 input does).
        s.nonBlocking = true;
        v4l2_->streamFor = [&](const QString&, const QMap<QString, QString>& options) {
            s.options = {{"framerate", options.value("framerate")},
                         {"video_size", options.value("video_size")},
                         {"pixel_format", options.value("input_format")}};
            return s;
        };
        auto video = capture(1, true);
        QCOMPARE(v4l2_->streamed.last().value(QStringLiteral("input_format")), row.inputFormat);
        QVERIFY(video->GrabFrameLive());
        const QImage frame = video->lastGrabbedFrame();
        QCOMPARE(frame.size(), QSize(320, 240));
        const QString mismatch = compareBars(frame, row.tolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void deviceLost_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("expectedError");
        QTest::newRow("connection reset mid-stream") << "reset" << ECONNRESET;
        QTest::newRow("source falls silent") << "silent" << ETIMEDOUT;
        // Data that arrives but never decodes is silence too.
        QTest::newRow("source sends only junk") << "junk" << ETIMEDOUT;
    }

    void deviceLost() {
        QFETCH(QString, how);
        QFETCH(int, expectedError);
        // The end of the stream is sourceEndsOrLoops' case, in tst_videocapture.
        StreamServer server(jpegFrame(QSize(160, 120)).repeated(20),
                            how == QLatin1String("reset")  ? StreamServer::End::Reset
                            : how == QLatin1String("junk") ? StreamServer::End::Garbage
                                                           : StreamServer::End::Silence);
        v4l2_->add(QStringLiteral("Stand-in"))->formats = {
            format(V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {frameSize(160, 120, {30})})};
        v4l2_->streamFor = [&](const QString&, const QMap<QString, QString>&) {
            SourceSpec s;
            s.inputFormat = QStringLiteral("mjpeg");
            s.options = {{QStringLiteral("framerate"), QStringLiteral("30")},
                         // Open on the first frames, as with a camera, not after seconds of them.
                         {QStringLiteral("analyzeduration"), QStringLiteral("100000")}};
            s.url = server.url;
            if (how == QLatin1String("silent") || how == QLatin1String("junk"))
                s.stallTimeoutMs = 600;
            return s;
        };

        auto video = capture(1, false);
        video->setPreviewRate(30);
        QSignalSpy shown(video.get(), &TVideoCapture::frameShown);
        QSignalSpy errors(video.get(), &TVideoCapture::OnError);
        static std::atomic<int> logged;
        logged = 0;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString&) {
                if (type == QtWarningMsg && qstrcmp(context.category, "ostrel.capture") == 0)
                    ++logged;
            });
        video->setVideoPreview(true);
        const bool delivered = QTest::qWaitFor([&] { return shown.count() > 0; }, 8000);
        server.end();
        const bool ended = QTest::qWaitFor([&] { return errors.count() > 0; }, 8000);
        qInstallMessageHandler(previous);
        QVERIFY2(delivered, "the source delivered before it went away");
        QVERIFY(ended);
        QCOMPARE_LE(logged, 5); // a broken stream is no flood
        if (how == QLatin1String("junk")) QCOMPARE_GT(logged, 0);
        QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("Capture device was not detected."));
        if (how != QLatin1String("reset")) // a reset may also read as the end of the stream
            QCOMPARE(errors.at(0).at(0).toInt(), expectedError);
        QVERIFY(video->DriverOpen());     // closing is the program's decision
        QVERIFY(!video->GrabFrameLive()); // ended: all it reported waits in the queue
        QCoreApplication::processEvents();
        QCOMPARE(errors.count(), 1);
        // What the program does next: close, forget the driver; another choice works.
        video->setDriverOpen(false);
        video->setDriverIndex(-1);
        video->setDriverIndex(0);
        video->setDriverOpen(true);
        QVERIFY(video->GrabFrameLive());
    }

    // ---- the virtual camera's Video Source
    // ---------------------------------------------------

    void virtualSourceDialog_data() {
        // file: browsed to in the program folder, or "<outside>" it; none, the motion interval
        // or nothing changed.
        QTest::addColumn<VirtualSourceRow>("row");
        QTest::newRow("motion interval") << VirtualSourceRow{"", true, ""};
        QTest::newRow("video file in the program folder")
            << VirtualSourceRow{"clip.mjpeg", true, ""};
        QTest::newRow("video file elsewhere") << VirtualSourceRow{"<outside>", true, ""};
        QTest::newRow("file that does not play")
            << VirtualSourceRow{"broken.avi", false, "Can not play the video file \""};
        QTest::newRow("no file named")
            << VirtualSourceRow{"", false, "Choose a video file to play."};
    }

    void virtualSourceDialog() {
        QFETCH(VirtualSourceRow, row);
        // Named one by one: a lambda below reads them (clang 14 cannot capture bindings).
        const QString& name = row.file;
        const bool accepted = row.accepted;
        const QString& expectedError = row.error;
        const QString folder = folder_.dir.path();
        QTemporaryDir outside;
        const QString file =
            name == "<outside>" ? outside.filePath("far.mjpeg") : folder + '/' + name;
        ScriptedDesktop desk;
        if (!name.isEmpty()) {
            QVERIFY(writeRepeated(
                file, name == "broken.avi" ? QByteArray(4096, '\x5a') : jpegFrame(QSize(160, 120)),
                10));
            desk.fileAnswers << file;
        }
        const QString expectedSource = name == "<outside>" ? file : name;
        const bool interval = accepted && name.isEmpty();

        auto video = capture(0, true);
        DialogScript script([&](QDialog& d) {
            auto* ui = dynamic_cast<TDlgVirtualSource&>(d).ui();
            if (interval) {
                ui->seMotionInterval->setValue(7);
            } else if (name.isEmpty()) {
                ui->rbFile->setChecked(true);
            } else {
                ui->rbFile->click(); // the button and the name field are for a file only
                ui->btnBrowse->click();
            }
            ui->OKBtn->click();
            // A refused choice leaves the dialog open for another; the user gives up.
            if (d.result() != QDialog::Accepted) ui->CancelBtn->click();
            return d.result();
        });
        QCOMPARE(video->ShowSourceDialog(), accepted);
        const QString shown = desk.shownTexts().join('\n');
        if (expectedError.isEmpty()) {
            QCOMPARE(shown, QString());
        } else {
            QCOMPARE(desk.shownTexts().size(), 1);
            QVERIFY2(shown.startsWith(expectedError), qPrintable(shown));
        }
        const VirtualCameraSettings stored = VirtualCamera::readSettings(folder);
        QCOMPARE(stored.source, accepted ? expectedSource : QString());
        QCOMPARE(stored.motionInterval, interval ? 7 : 20);
        if (!accepted) {
            QVERIFY(!QFile::exists(settingsFile()));
            return;
        }
        QVERIFY(video->DriverOpen());
        if (interval) {
            QVERIFY(VirtualCamera(folder).source().url.contains(QStringLiteral("mod(t,7)")));
            return;
        }
        // Reconnected to the file at once, and again after a restart.
        QCOMPARE(video->imageWidth(), quint16(160));
        video->setDriverOpen(false);
        QCOMPARE(capture(0, true)->imageWidth(), quint16(160));
    }

private:
    // A device on the scripted cameras.
    std::unique_ptr<TVideoCapture> capture(int index, bool open) {
        auto video = std::make_unique<TVideoCapture>(systemDrivers(folder_.dir.path(), v4l2_),
                                                     folder_.dir.path());
        video->setDriverIndex(index);
        if (open) video->setDriverOpen(true);
        return video;
    }
    QString settingsFile() const {
        return QDir(folder_.dir.path()).filePath(QStringLiteral("vcap.sif"));
    }
    FreshFolder folder_;
    std::shared_ptr<ScriptedV4l2> v4l2_;
};

QTEST_MAIN(TestV4l2)
#include "tst_v4l2.moc"
