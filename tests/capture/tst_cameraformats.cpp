// Camera frames through the capture pipeline: the formats cameras deliver (Motion-JPEG,
// packed and planar YUV) converted to 24-bit BGR, sources that end, fail or fall silent
// mid-stream reported as a lost device, and the virtual camera's Video Source dialog.
// The cameras are scripted V4L2 devices whose frames FFmpeg reads from stand-ins.
#include "ScriptedV4l2.h"
#include "StandInSources.h"
#include "capture/DlgVirtualSource.h"
#include "capture/DriverDialogs.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgVirtualSource.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

using namespace ostrel;
using namespace ostrel::test;

namespace {

struct DialogScript {
    explicit DialogScript(DriverDialogRunner runner) { setDriverDialogRunner(std::move(runner)); }
    ~DialogScript() { setDriverDialogRunner({}); }
};

QString colourText(const QColor& c) {
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// Every bar's centre within `tolerance` of its colour; an empty string when it is.
QString compareBars(const QImage& frame, int tolerance) {
    for (int bar = 0; bar < 4; ++bar) {
        const int x = bar * frame.width() / 4 + frame.width() / 8;
        for (int y : {frame.height() / 4, frame.height() / 2, frame.height() * 3 / 4}) {
            const QColor seen = frame.pixelColor(x, y);
            const QColor wanted = barColours()[bar];
            if (qAbs(seen.red() - wanted.red()) > tolerance ||
                qAbs(seen.green() - wanted.green()) > tolerance ||
                qAbs(seen.blue() - wanted.blue()) > tolerance)
                return QStringLiteral("bar %1 at (%2, %3): %4, expected %5")
                    .arg(bar)
                    .arg(x)
                    .arg(y)
                    .arg(colourText(seen), colourText(wanted));
        }
    }
    return {};
}

QSize sizeOption(const QMap<QString, QString>& options) {
    const QStringList wh = options.value(QStringLiteral("video_size")).split(QLatin1Char('x'));
    return wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
}

} // namespace

class TestCameraFormats : public QObject {
    Q_OBJECT
private slots:
    void init();

    void conversion_data();
    void conversion();
    void deviceLost_data();
    void deviceLost();

    void virtualSourceDialog_data();
    void virtualSourceDialog();

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

void TestCameraFormats::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
}

// ---- conversion --------------------------------------------------------------------------

void TestCameraFormats::conversion_data() {
    QTest::addColumn<quint32>("fourcc");
    QTest::addColumn<QString>("inputFormat");
    QTest::addColumn<int>("tolerance");
    // JPEG is lossy; the raw formats lose only the rounding of the colour conversion.
    QTest::newRow("Motion-JPEG") << quint32(V4L2_PIX_FMT_MJPEG) << "mjpeg" << 12;
    QTest::newRow("YUYV 4:2:2 packed") << quint32(V4L2_PIX_FMT_YUYV) << "yuyv422" << 5;
    QTest::newRow("UYVY 4:2:2 packed") << quint32(V4L2_PIX_FMT_UYVY) << "uyvy422" << 5;
    QTest::newRow("NV12 4:2:0") << quint32(V4L2_PIX_FMT_NV12) << "nv12" << 5;
    QTest::newRow("YUV 4:2:0 planar") << quint32(V4L2_PIX_FMT_YUV420) << "yuv420p" << 5;
}

void TestCameraFormats::conversion() {
    QFETCH(quint32, fourcc);
    QFETCH(QString, inputFormat);
    QFETCH(int, tolerance);
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    auto camera = v4l2->add(QStringLiteral("Stand-in"));
    camera->formats = {
        format(fourcc, fourccText(fourcc), {frameSize(160, 120, {30}), frameSize(320, 240, {30})})};
    const QString file = QDir(folder_->path()).filePath(QStringLiteral("frames"));
    v4l2->streamFor = [&](const QString&, const QMap<QString, QString>& options) {
        const QSize size = sizeOption(options);
        SourceSpec s;
        if (fourcc == V4L2_PIX_FMT_MJPEG) {
            writeRepeated(file, jpegFrame(size), 15);
            s.inputFormat = QStringLiteral("mjpeg");
            s.url = file;
            s.options = {{QStringLiteral("framerate"), options.value(QStringLiteral("framerate"))}};
        } else {
            const bool packed = fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY;
            writeRepeated(file,
                          packed ? packedFrame(size, fourcc == V4L2_PIX_FMT_UYVY)
                                 : planarFrame(size, fourcc == V4L2_PIX_FMT_NV12),
                          15);
            s = rawVideo(file, options.value(QStringLiteral("input_format")), size, 30);
        }
        s.loop = true;
        // Read as the camera is: without blocking (which skips the probe where the
        // header tells the picture size, as FFmpeg's video4linux2 input does).
        s.nonBlocking = true;
        return s;
    };

    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    video.setDriverOpen(true);
    QCOMPARE(v4l2->streamed.last().value(QStringLiteral("input_format")), inputFormat);
    QCOMPARE(video.imageWidth(), quint16(320));
    QVERIFY(video.GrabFrameLive());
    const QImage frame = video.lastGrabbedFrame();
    QCOMPARE(frame.size(), QSize(320, 240));
    const QString mismatch = compareBars(frame, tolerance);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    // The frame file is the same picture.
    QVERIFY(video.SaveFrameFile());
    const QImage saved(QDir(folder_->path()).filePath(QStringLiteral("Capture.bmp")));
    QCOMPARE(saved.size(), QSize(320, 240));
    QCOMPARE(saved.pixelColor(120, 120).rgb(), frame.pixelColor(120, 120).rgb());
}

// ---- a camera that goes away -------------------------------------------------------------

void TestCameraFormats::deviceLost_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expectedError");
    QTest::newRow("source ends") << "ends" << ENODEV;
    QTest::newRow("connection reset mid-stream") << "reset" << ECONNRESET;
    QTest::newRow("source falls silent") << "silent" << ETIMEDOUT;
    // Data that arrives but never decodes is silence too.
    QTest::newRow("source sends only junk") << "junk" << ETIMEDOUT;
}

void TestCameraFormats::deviceLost() {
    QFETCH(QString, how);
    QFETCH(int, expectedError);
    const QSize size(160, 120);
    QByteArray stream;
    for (int i = 0; i < 20; ++i)
        stream += jpegFrame(size);
    std::unique_ptr<StreamServer> server;
    if (how != QLatin1String("ends"))
        server = std::make_unique<StreamServer>(
            stream, how == QLatin1String("reset")    ? StreamServer::End::Reset
                    : how == QLatin1String("junk") ? StreamServer::End::Garbage
                                                   : StreamServer::End::Silence);

    auto v4l2 = std::make_shared<ScriptedV4l2>();
    v4l2->add(QStringLiteral("Stand-in"))->formats = {
        format(V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {frameSize(160, 120, {30})})};
    const QString file = QDir(folder_->path()).filePath(QStringLiteral("frames.mjpeg"));
    QVERIFY(writeRepeated(file, stream, 1));
    v4l2->streamFor = [&](const QString&, const QMap<QString, QString>&) {
        SourceSpec s;
        s.inputFormat = QStringLiteral("mjpeg");
        s.options = {{QStringLiteral("framerate"), QStringLiteral("30")},
                     // Open on the first frames, as with a camera, not after seconds of them.
                     {QStringLiteral("analyzeduration"), QStringLiteral("100000")}};
        s.url = server ? server->url() : file;
        if (how == QLatin1String("silent") || how == QLatin1String("junk")) s.stallTimeoutMs = 600;
        return s;
    };

    TVideoCapture video(systemDrivers(folder_->path(), v4l2), folder_->path());
    video.setDriverIndex(1);
    video.setPreviewRate(30);
    QSignalSpy shown(&video, &TVideoCapture::frameShown);
    QSignalSpy errors(&video, &TVideoCapture::OnError);
    static std::atomic<int> logged;
    logged = 0;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString&) {
            if (type == QtWarningMsg && qstrcmp(context.category, "ostrel.capture") == 0) ++logged;
        });
    video.setVideoPreview(true);
    const bool ended = errors.wait(8000);
    qInstallMessageHandler(previous);
    QVERIFY(ended);
    QVERIFY2(logged <= 5, qPrintable(QString::number(logged))); // a broken stream is no flood
    if (how == QLatin1String("junk")) QVERIFY(logged > 0);
    QVERIFY2(shown.count() > 0, "the source delivered before it went away");
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("Capture device was not detected."));
    if (how != QLatin1String("reset")) // a reset may also read as the end of the stream
        QCOMPARE(errors.at(0).at(0).toInt(), expectedError);
    QVERIFY(video.DriverOpen()); // closing is the program's decision
    QVERIFY(!video.GrabFrameLive());
    QTest::qWait(200);
    QCOMPARE(errors.count(), 1);

    // What the program does next: close, forget the driver; another choice works.
    video.setDriverOpen(false);
    video.setDriverIndex(-1);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QVERIFY(video.GrabFrameLive());
}

// ---- the virtual camera's Video Source ---------------------------------------------------

void TestCameraFormats::virtualSourceDialog_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expectedSource"); // "<outside>": the absolute outside name
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("motion interval") << "interval" << true << ""
                                     << "";
    QTest::newRow("video file in the program folder") << "browse" << true << "clip.mjpeg"
                                                      << "";
    QTest::newRow("video file elsewhere") << "outside" << true << "<outside>"
                                          << "";
    QTest::newRow("file that does not play") << "garbage" << false << ""
                                             << "Can not play the video file \"";
    QTest::newRow("no file named") << "empty" << false << ""
                                   << "Choose a video file to play.";
    QTest::newRow("browsing cancelled keeps the scene") << "cancel browse" << true << ""
                                                        << "";
}

void TestCameraFormats::virtualSourceDialog() {
    QFETCH(QString, action);
    QFETCH(bool, accepted);
    QFETCH(QString, expectedSource);
    QFETCH(QString, expectedError);
    const QString folder = folder_->path();
    QTemporaryDir outside;
    const QString clip = QDir(folder).filePath(QStringLiteral("clip.mjpeg"));
    const QString outsideClip = QDir(outside.path()).filePath(QStringLiteral("far.mjpeg"));
    const QString garbage = QDir(folder).filePath(QStringLiteral("broken.avi"));
    QVERIFY(writeRepeated(clip, jpegFrame(QSize(160, 120)), 10));
    QVERIFY(writeRepeated(outsideClip, jpegFrame(QSize(160, 120)), 10));
    QVERIFY(writeRepeated(garbage, QByteArray(4096, '\x5a'), 1));
    if (expectedSource == QLatin1String("<outside>")) expectedSource = outsideClip;

    ScriptedDesktop desk;
    if (action == QLatin1String("browse")) desk.fileAnswers << clip;
    if (action == QLatin1String("outside")) desk.fileAnswers << outsideClip;
    if (action == QLatin1String("garbage")) desk.fileAnswers << garbage;

    TVideoCapture video(systemDrivers(folder, std::make_shared<ScriptedV4l2>()), folder);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QCOMPARE(video.imageWidth(), quint16(VirtualCamera::Width));
    int result = -1;
    DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<TDlgVirtualSource&>(d);
        auto* ui = dialog.ui();
        if (action == QLatin1String("interval")) {
            ui->seMotionInterval->setValue(7);
        } else if (action == QLatin1String("empty")) {
            ui->rbFile->setChecked(true);
        } else {
            ui->rbFile->click(); // the button and the name field are for a file only
            ui->btnBrowse->click();
            if (action == QLatin1String("cancel browse")) ui->rbScene->click();
        }
        ui->OKBtn->click();
        result = dialog.result();
        // A refused choice leaves the dialog open for another; the user gives up.
        if (result != QDialog::Accepted) ui->CancelBtn->click();
        return dialog.result();
    });
    QCOMPARE(video.ShowSourceDialog(), accepted);
    QCOMPARE(result == QDialog::Accepted, accepted);
    if (action != QLatin1String("interval") && action != QLatin1String("empty"))
        QCOMPARE(desk.fileRequests.size(), 1);
    if (expectedError.isEmpty())
        QVERIFY2(desk.shownTexts().isEmpty(), qPrintable(desk.shownTexts().join('\n')));
    else
        QVERIFY2(desk.shownTexts().size() == 1 && desk.shownTexts()[0].startsWith(expectedError),
                 qPrintable(desk.shownTexts().join('\n')));

    const VirtualCameraSettings stored = VirtualCamera::readSettings(folder);
    QCOMPARE(stored.source, accepted ? expectedSource : QString());
    QCOMPARE(stored.motionInterval, action == QLatin1String("interval") ? 7 : 20);
    if (!accepted) {
        QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("vcap.sif"))));
        return;
    }
    QVERIFY(video.DriverOpen());
    if (expectedSource.isEmpty()) {
        QCOMPARE(VirtualCamera(folder).source().url.contains(QStringLiteral("mod(t,7)")),
                 action == QLatin1String("interval"));
        return;
    }
    // Reconnected to the file at once, and again after a restart.
    QCOMPARE(video.imageWidth(), quint16(160));
    QVERIFY(video.GrabFrameLive());
    QString mismatch = compareBars(video.lastGrabbedFrame(), 12);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    video.setDriverOpen(false);

    TVideoCapture restarted(systemDrivers(folder, std::make_shared<ScriptedV4l2>()), folder);
    restarted.setDriverIndex(0);
    restarted.setDriverOpen(true);
    QVERIFY(restarted.GrabFrameLive());
    QCOMPARE(restarted.lastGrabbedFrame().size(), QSize(160, 120));
    mismatch = compareBars(restarted.lastGrabbedFrame(), 12);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

QTEST_MAIN(TestCameraFormats)
#include "tst_cameraformats.moc"
