// The V4L2 drivers above the ioctls: which devices become drivers 1 to 9, the format
// negotiation and the demuxer options it gives, what vcap.sif keeps per device, and the
// Video Format, Video Source and Video Compression dialogs, on scripted cameras whose
// frames come from FFmpeg stand-ins.
#include "ScriptedV4l2.h"
#include "capture/DlgCompression.h"
#include "capture/DlgVideoFormat.h"
#include "capture/DlgVideoSource.h"
#include "capture/DriverDialogs.h"
#include "capture/V4l2Driver.h"
#include "capture/VideoCapture.h"
#include "platform/IniFile.h"
#include "ui_DlgCompression.h"
#include "ui_DlgVideoFormat.h"
#include "ui_DlgVideoSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

Q_DECLARE_METATYPE(ostrel::FormatChoice)

namespace {

// Installs a runner for the driver dialogs for the life of the object.
struct DialogScript {
    explicit DialogScript(DriverDialogRunner runner) { setDriverDialogRunner(std::move(runner)); }
    ~DialogScript() { setDriverDialogRunner({}); }
};

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

QString settingsFile(const QTemporaryDir& dir) {
    return QDir(dir.path()).filePath(QStringLiteral("vcap.sif"));
}

// A dialog's control by its accessible name, as a screen reader finds it.
template <typename T> T* findNamed(QWidget& parent, const QString& accessibleName) {
    for (T* w : parent.findChildren<T*>())
        if (w->accessibleName() == accessibleName) return w;
    qFatal("no control named \"%s\"", qPrintable(accessibleName));
    return nullptr;
}

} // namespace

class TestV4l2 : public QObject {
    Q_OBJECT
private slots:
    void init();

    void enumeration_data();
    void enumeration();
    void devicesAreLookedForAgainWhenNodesChange();
    void machineNodesInNumberOrder();

    void negotiation_data();
    void negotiation();
    void storedChoicesReachTheDemuxer();

    void formatDialogChoosesAmongOffered();
    void formatDialogCancelChangesNothing();
    void sourceDialogSetsControlsLive();
    void sourceDialogCancelPutsControlsBack();
    void storedControlsApplyAtNextStart();
    void compressionDialog_data();
    void compressionDialog();

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

void TestV4l2::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
}

// ---- which devices are drivers -----------------------------------------------------------

void TestV4l2::enumeration_data() {
    // Each node: card, or "-meta" for a node that delivers no pictures, or "-closed" for
    // one that cannot be opened.
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QStringList>("expected");
    const QString virtualCamera = QStringLiteral("Ostrel Virtual Camera 1.0");
    QTest::newRow("no camera") << QStringList{} << QStringList{virtualCamera};
    QTest::newRow("metadata and closed nodes left out")
        << QStringList{"HD Webcam", "-meta", "-closed", "USB Camera"}
        << QStringList{virtualCamera, "HD Webcam 5.10.0", "USB Camera 5.10.0"};
    QStringList twelve, nine{virtualCamera};
    for (int i = 0; i < 12; ++i) {
        twelve << QStringLiteral("Cam %1").arg(i);
        if (i < 9) nine << QStringLiteral("Cam %1 5.10.0").arg(i);
    }
    QTest::newRow("only nine cameras fit") << twelve << nine;
}

void TestV4l2::enumeration() {
    QFETCH(QStringList, nodes);
    QFETCH(QStringList, expected);
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    for (const QString& node : nodes) {
        auto camera = v4l2->add(node);
        camera->cap.canCapture = node != QLatin1String("-meta");
        camera->opens = node != QLatin1String("-closed");
    }
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    QCOMPARE(video.ListDrivers(), expected);
    if (expected.size() > 1) {
        video.setDriverIndex(1);
        QCOMPARE(video.DriverName(), expected[1].section(QLatin1Char(' '), 0, -2));
        QVERIFY(video.HasFormatDialog());
        QVERIFY(video.HasSourceDialog());
        QVERIFY(!video.HasDisplayDialog());
        QVERIFY(!video.HasOverlay());
        QCOMPARE(video.DriverOpen(), false);
    }
}

void TestV4l2::devicesAreLookedForAgainWhenNodesChange() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto first = v4l2->add(QStringLiteral("First"));
    v4l2->add(QStringLiteral("Second"));
    auto drivers = systemDrivers(folder_->path(), v4l2);
    const auto firstDriver = drivers->driver(1);
    QVERIFY(firstDriver);
    QCOMPARE(firstDriver->description().name, QStringLiteral("First"));
    const int opens = v4l2->opens;
    QCOMPARE(drivers->driver(2)->description().name, QStringLiteral("Second"));
    QVERIFY(!drivers->driver(3));
    QCOMPARE(v4l2->opens, opens); // nothing changed: no device is asked again

    v4l2->cameras.removeFirst(); // unplugged
    QCOMPARE(drivers->driver(1)->description().name, QStringLiteral("Second"));
    QVERIFY(!drivers->driver(2));

    first->identity = QStringLiteral("2"); // plugged in again: a new node
    first->cap.card = QStringLiteral("First again");
    v4l2->cameras.prepend(first);
    QCOMPARE(drivers->driver(1)->description().name, QStringLiteral("First again"));
    QCOMPARE(drivers->driver(2)->description().name, QStringLiteral("Second"));
}

void TestV4l2::machineNodesInNumberOrder() {
    // Not devices: the names are sorted and filtered, and nothing here opens as one.
    QDir dir(folder_->path());
    for (const char* name : {"video10", "video2", "video1", "videox", "vbi0", "video"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    auto machine = linuxV4l2(folder_->path());
    QStringList paths;
    for (const V4l2Backend::Node& n : machine->nodes())
        paths << QFileInfo(n.path).fileName();
    QCOMPARE(paths, (QStringList{"video1", "video2", "video10"}));
    QVERIFY(!machine->open(dir.filePath(QStringLiteral("video1"))));
    QVERIFY(!linuxV4l2()->open(QStringLiteral("/dev/null"))); // a device, but not V4L2
    QVERIFY(!linuxV4l2()->open(QStringLiteral("/dev/ostrel-no-such-node")));
    TVideoCapture video(systemDrivers(folder_->path(), machine), folder_->path());
    QCOMPARE(video.ListDrivers().size(), 1);
}

// ---- format negotiation ------------------------------------------------------------------

void TestV4l2::negotiation_data() {
    QTest::addColumn<QList<V4l2Format>>("offered");
    QTest::addColumn<FormatChoice>("wanted");
    QTest::addColumn<QString>("options");

    const QList<V4l2Format> webcam = webcamFormats();
    const quint32 yuyv = V4L2_PIX_FMT_YUYV;
    const quint32 mjpg = V4L2_PIX_FMT_MJPEG;
    QTest::newRow("nothing stored: 640x480, raw on a tie, 30 fps")
        << webcam << FormatChoice{} << "framerate=30 input_format=yuyv422 video_size=640x480";
    QTest::newRow("a size: the format that gives it fastest")
        << webcam << choice(0, {1280, 720})
        << "framerate=30 input_format=mjpeg video_size=1280x720";
    QTest::newRow("format, size and rate as stored")
        << webcam << choice(yuyv, {1280, 720}, 5)
        << "framerate=5 input_format=yuyv422 video_size=1280x720";
    QTest::newRow("a rate not offered: the fastest up to 30")
        << webcam << choice(mjpg, {1280, 720}, 60)
        << "framerate=30 input_format=mjpeg video_size=1280x720";
    QTest::newRow("a size the stored format lacks")
        << webcam << choice(yuyv, {1920, 1080}, 30)
        << "framerate=30 input_format=yuyv422 video_size=640x480";
    QTest::newRow("a format this camera lacks")
        << webcam << choice(V4L2_PIX_FMT_GREY, {1920, 1080})
        << "framerate=30 input_format=mjpeg video_size=1920x1080";
    QTest::newRow("never a format FFmpeg cannot read")
        << webcam << choice(v4l2_fourcc('Y', '1', '0', 'B'), {800, 600}, 60)
        << "framerate=30 input_format=yuyv422 video_size=640x480";

    const QList<V4l2Format> large{
        format(mjpg, "MJPEG", {frameSize(1920, 1080, {60, 30}), frameSize(1280, 720, {60, 30})})};
    QTest::newRow("nothing up to 640x480: the smallest")
        << large << FormatChoice{} << "framerate=30 input_format=mjpeg video_size=1280x720";
    const QList<V4l2Format> fast{format(mjpg, "MJPEG", {frameSize(640, 480, {60, 50})})};
    QTest::newRow("every rate above 30: the slowest")
        << fast << FormatChoice{} << "framerate=50 input_format=mjpeg video_size=640x480";
    const QList<V4l2Format> small{
        format(yuyv, "YUYV",
               {frameSize(160, 120, {30}), frameSize(352, 288, {30}), frameSize(800, 600, {15})})};
    QTest::newRow("no 640x480: the largest below")
        << small << FormatChoice{} << "framerate=30 input_format=yuyv422 video_size=352x288";
    const QList<V4l2Format> silent{format(V4L2_PIX_FMT_NV12, "NV12", {}),
                                   format(yuyv, "YUYV", {frameSize(640, 480, {})})};
    QTest::newRow("sizes not listed: only the format")
        << QList<V4l2Format>{silent[0]} << FormatChoice{} << "input_format=nv12";
    QTest::newRow("rates not listed: no rate") << QList<V4l2Format>{silent[1]} << FormatChoice{}
                                               << "input_format=yuyv422 video_size=640x480";
    QTest::newRow("nothing readable: the device decides")
        << QList<V4l2Format>{webcam[2]} << choice(yuyv, {640, 480}, 30) << "";
}

void TestV4l2::negotiation() {
    QFETCH(QList<V4l2Format>, offered);
    QFETCH(FormatChoice, wanted);
    QFETCH(QString, options);
    QCOMPARE(optionsText(demuxerOptions(negotiateFormat(offered, wanted))), options);
}

void TestV4l2::storedChoicesReachTheDemuxer() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto a = v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-0000:00:14.0-1"));
    a->formats = webcamFormats();
    a->inputs = QStringList{"Camera 1", "Composite"};
    addWebcamControls(*a);
    auto b = v4l2->add(QStringLiteral("HD Webcam")); // the same model, no bus information
    b->formats = webcamFormats();
    addWebcamControls(*b);
    QFile file(settingsFile(*folder_));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Device usb-0000:00:14.0-1]\r\nPixel_Format=MJPG\r\nWidth=1280\r\nHeight=720\r\n"
               "Frame_Rate=15\r\nInput=1\r\nControl_00980900=300\r\n"
               "Control_0098091a=3000\r\nControl_0098090c=0\r\n"
               "[Device HD Webcam]\r\nWidth=320\r\nHeight=240\r\nInput=7\r\n");
    file.close();

    auto drivers = systemDrivers(folder_->path(), v4l2);
    const SourceSpec spec = drivers->driver(1)->source();
    QCOMPARE(optionsText(v4l2->streamed.last()),
             QStringLiteral("channel=1 framerate=15 input_format=mjpeg video_size=1280x720"));
    QVERIFY(spec.device);
    QCOMPARE(spec.stallTimeoutMs, V4l2Driver::StallTimeoutMs);
    // Clamped to the control's range, and the automatic mode off before the temperature.
    QCOMPARE(a->values.value(V4L2_CID_BRIGHTNESS), 255);
    QCOMPARE(a->values.value(V4L2_CID_AUTO_WHITE_BALANCE), 0);
    QCOMPARE(a->values.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3000);

    drivers->driver(2)->source(); // its own section; an input it does not have is not asked
    QCOMPARE(optionsText(v4l2->streamed.last()),
             QStringLiteral("framerate=30 input_format=yuyv422 video_size=320x240"));
    QVERIFY(b->sets.isEmpty());

    // The real machine's stream is FFmpeg's video4linux2 input, read without blocking.
    const SourceSpec machine = linuxV4l2()->stream(
        QStringLiteral("/dev/video0"), {{QStringLiteral("input_format"), QStringLiteral("mjpeg")}});
    QCOMPARE(machine.inputFormat, QStringLiteral("video4linux2"));
    QCOMPARE(machine.url, QStringLiteral("/dev/video0"));
    QVERIFY(machine.paced && machine.nonBlocking);
}

// ---- Video Format ------------------------------------------------------------------------

void TestV4l2::formatDialogChoosesAmongOffered() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto camera = v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"));
    camera->formats = webcamFormats();
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.resize(800, 600);
    video.setDriverIndex(1);
    video.setDriverOpen(true);
    QCOMPARE(video.imageWidth(), quint16(640));

    QStringList offeredFormats, offeredSizes, offeredRates, preselected;
    DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoFormat&>(d);
        auto* ui = dialog.ui();
        preselected << ui->cbPixelFormat->currentText() << ui->cbFrameSize->currentText()
                    << ui->cbFrameRate->currentText();
        for (int i = 0; i < ui->cbPixelFormat->count(); ++i)
            offeredFormats << ui->cbPixelFormat->itemText(i);
        ui->cbPixelFormat->setCurrentIndex(1);
        for (int i = 0; i < ui->cbFrameSize->count(); ++i)
            offeredSizes << ui->cbFrameSize->itemText(i);
        ui->cbFrameSize->setCurrentText(QStringLiteral("1280 x 720"));
        for (int i = 0; i < ui->cbFrameRate->count(); ++i)
            offeredRates << ui->cbFrameRate->itemText(i);
        ui->cbFrameRate->setCurrentText(QStringLiteral("15 frames per second"));
        ui->OKBtn->click();
        return dialog.result();
    });
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QVERIFY(video.ShowFormatDialog());
    QCOMPARE(preselected, (QStringList{"YUYV 4:2:2 (YUYV)", "640 x 480", "30 frames per second"}));
    QCOMPARE(offeredFormats, (QStringList{"YUYV 4:2:2 (YUYV)", "Motion-JPEG (MJPG)"}));
    QCOMPARE(offeredSizes, (QStringList{"320 x 240", "640 x 480", "1280 x 720", "1920 x 1080"}));
    QCOMPARE(offeredRates, (QStringList{"30 frames per second", "15 frames per second"}));

    // Reconnected with the choice: a new size, the status reported, the window resized.
    QCOMPARE(optionsText(v4l2->streamed.last()),
             QStringLiteral("framerate=15 input_format=mjpeg video_size=1280x720"));
    QVERIFY(video.DriverOpen());
    QCOMPARE(video.imageWidth(), quint16(1280));
    QCOMPARE(status.count(), 1);
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 1280, 720));

    const IniFile ini(settingsFile(*folder_));
    QCOMPARE(ini.readString("Device usb-1", "Pixel_Format", ""), QStringLiteral("MJPG"));
    QCOMPARE(ini.readString("Device usb-1", "Frame_Rate", ""), QStringLiteral("15"));

    // The next start asks for the same.
    TVideoCapture again(systemDrivers(folder_->path(), v4l2), folder_->path());
    again.setDriverIndex(1);
    again.setDriverOpen(true);
    QCOMPARE(again.imageWidth(), quint16(1280));
    QCOMPARE(again.imageHeight(), quint16(720));
}

void TestV4l2::formatDialogCancelChangesNothing() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    v4l2->add(QStringLiteral("HD Webcam"))->formats = webcamFormats();
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    DialogScript script([](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoFormat&>(d);
        dialog.ui()->cbPixelFormat->setCurrentIndex(1);
        dialog.ui()->CancelBtn->click();
        return dialog.result();
    });
    QVERIFY(!video.ShowFormatDialog());
    QVERIFY(!video.DriverOpen()); // opened for the dialog, closed again
    QCOMPARE(v4l2->streamed.size(), 1);
    QVERIFY(!QFile::exists(settingsFile(*folder_)));
}

// ---- Video Source ------------------------------------------------------------------------

void TestV4l2::sourceDialogSetsControlsLive() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto camera = v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"));
    camera->formats = webcamFormats();
    camera->inputs = QStringList{"Camera 1", "Composite"};
    addWebcamControls(*camera);
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    video.setDriverOpen(true);

    bool temperatureLockedFirst = false;
    bool temperatureFreedAfter = false;
    DialogScript script([&](QDialog& d) {
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
    const int streams = int(v4l2->streamed.size());
    QVERIFY(video.ShowSourceDialog());
    QVERIFY(temperatureLockedFirst);
    QVERIFY(temperatureFreedAfter);
    QCOMPARE(camera->values.value(V4L2_CID_CONTRAST), 40);
    QCOMPARE(camera->values.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3500);
    QCOMPARE(camera->values.value(V4L2_CID_POWER_LINE_FREQUENCY), 2);
    // The new input needs a new connection.
    QVERIFY(v4l2->streamed.size() > streams);
    QCOMPARE(v4l2->streamed.last().value("channel"), QStringLiteral("1"));
    QVERIFY(video.DriverOpen());

    const IniFile ini(settingsFile(*folder_));
    const QString section = QStringLiteral("Device usb-1");
    QCOMPARE(ini.readInteger(section, "Control_00980900", -1), 200);
    QCOMPARE(ini.readInteger(section, "Control_0098090c", -1), 0);
    QCOMPARE(ini.readInteger(section, "Control_0098091a", -1), 3500);
    QCOMPARE(ini.readInteger(section, "Input", -1), 1);
    QCOMPARE(ini.readInteger(section, "Control_00980918", -1), 2);
    QCOMPARE(ini.readInteger(section, "Control_00980901", -1), 40);

    // A control change alone reaches the running device without a new connection.
    const int before = int(v4l2->streamed.size());
    DialogScript again([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
        findNamed<QSlider>(dialog, "Brightness")->setValue(100);
        dialog.ui()->OKBtn->click();
        return dialog.result();
    });
    QVERIFY(video.ShowSourceDialog());
    QCOMPARE(v4l2->streamed.size(), before + 1); // asked for its source, not reconnected
    QVERIFY(video.DriverOpen());
    QCOMPARE(IniFile(settingsFile(*folder_)).readInteger(section, "Control_00980900", -1), 100);
}

void TestV4l2::sourceDialogCancelPutsControlsBack() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto camera = v4l2->add(QStringLiteral("HD Webcam"));
    camera->formats = webcamFormats();
    addWebcamControls(*camera);
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    const QMap<quint32, int> before = camera->values;
    DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
        // The automatic mode off, then the value it governs: putting them back must go
        // the other way round, or the camera refuses the value.
        findNamed<QCheckBox>(dialog, "White Balance, Automatic")->click();
        findNamed<QSlider>(dialog, "White Balance Temperature")->setValue(3000);
        findNamed<QSlider>(dialog, "Brightness")->setValue(10);
        dialog.ui()->CancelBtn->click();
        return dialog.result();
    });
    QVERIFY(!video.ShowSourceDialog());
    QCOMPARE(camera->values, before);
    QVERIFY(!QFile::exists(settingsFile(*folder_)));
    QVERIFY(!video.DriverOpen());

    // Defaults: every control back to the device's default at once.
    camera->values[V4L2_CID_BRIGHTNESS] = 7;
    DialogScript defaults([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
        dialog.ui()->btnDefaults->click();
        [&] {
            QCOMPARE(camera->values.value(V4L2_CID_BRIGHTNESS), 128);
            QCOMPARE(findNamed<QSlider>(dialog, "Brightness")->value(), 128);
        }();
        dialog.ui()->OKBtn->click();
        return dialog.result();
    });
    QVERIFY(video.ShowSourceDialog());
    // Values at the device's default are not kept.
    QVERIFY(!IniFile(settingsFile(*folder_)).valueExists("Device HD Webcam", "Control_00980900"));
}

void TestV4l2::storedControlsApplyAtNextStart() {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto camera = v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"));
    camera->formats = webcamFormats();
    addWebcamControls(*camera);
    {
        TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
        video.setDriverIndex(1);
        DialogScript script([&](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVideoSource&>(d);
            findNamed<QCheckBox>(dialog, "White Balance, Automatic")->click();
            findNamed<QSlider>(dialog, "White Balance Temperature")->setValue(5000);
            findNamed<QSlider>(dialog, "Brightness")->setValue(90);
            dialog.ui()->OKBtn->click();
            return dialog.result();
        });
        QVERIFY(video.ShowSourceDialog());
    }
    // Unplugged and plugged in again: the camera forgot; the next start tells it again.
    addWebcamControls(*camera);
    camera->identity = QStringLiteral("2");
    camera->sets.clear();
    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    video.setDriverOpen(true);
    QCOMPARE(camera->values.value(V4L2_CID_BRIGHTNESS), 90);
    QCOMPARE(camera->values.value(V4L2_CID_AUTO_WHITE_BALANCE), 0);
    QCOMPARE(camera->values.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5000);
}

// ---- Video Compression -------------------------------------------------------------------

void TestV4l2::compressionDialog_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("expectedQuality");
    QTest::addColumn<int>("expectedShown");
    QTest::newRow("confirmed") << 0 << true << true << 40 << 1;
    QTest::newRow("cancelled") << 0 << false << false << DefaultCompressionQuality << 1;
    QTest::newRow("no driver") << -1 << true << false << DefaultCompressionQuality << 0;
}

void TestV4l2::compressionDialog() {
    QFETCH(int, index);
    QFETCH(bool, confirm);
    QFETCH(bool, expected);
    QFETCH(int, expectedQuality);
    QFETCH(int, expectedShown);
    TVideoCapture video(systemDrivers(folder_->path(), std::make_shared<ScriptedV4l2>()),
                        folder_->path());
    video.setDriverIndex(index);
    int shown = 0;
    int preset = 0;
    bool openWhileShown = false;
    DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVideoCompression&>(d);
        ++shown;
        preset = dialog.ui()->tbQuality->value();
        openWhileShown = video.DriverOpen();
        dialog.ui()->tbQuality->setValue(40);
        (confirm ? dialog.ui()->OKBtn : dialog.ui()->CancelBtn)->click();
        return dialog.result();
    });
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QCOMPARE(video.ShowCompressionDialog(), expected);
    QCOMPARE(shown, expectedShown);
    if (shown) {
        QCOMPARE(preset, DefaultCompressionQuality);
        QVERIFY(openWhileShown);
        QCOMPARE(status.count(), 1); // the temporary open's only
    }
    QVERIFY(!video.DriverOpen());
    QCOMPARE(video.CompressionQuality(), expectedQuality);
    // Kept across starts, for every driver alike.
    QCOMPARE(readCompressionQuality(folder_->path()), expectedQuality);
}

QTEST_MAIN(TestV4l2)
#include "tst_v4l2.moc"
