// The capture pipeline end to end: real FFmpeg sources (lavfi graphs, bitmap files, the
// virtual camera) through the capture thread into the widget's display, grabs and frame
// files, and the events of sources that end.
#include "ScriptedDrivers.h"
#include "capture/Bitmap.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <cerrno>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// The sum of the colour bytes of a frame: what the motion detector compares.
quint64 frameSum(const QImage& image) {
    quint64 sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < image.width() * 3; ++x)
            sum += line[x];
    }
    return sum;
}

void writeFile(const QString& name, const QByteArray& text) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Frames shown during `ms` milliseconds.
int countFrames(TVideoCapture& video, int ms) {
    QSignalSpy shown(&video, &TVideoCapture::frameShown);
    QTest::qWait(ms);
    return int(shown.count());
}

std::shared_ptr<ScriptedDrivers> oneDriver(SourceSpec spec, DriverCaps caps = {}) {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Test"), std::move(spec), caps);
    return drivers;
}

} // namespace

class TestCapturePipeline : public QObject {
    Q_OBJECT
private slots:
    void init();

    void virtualCameraSavesFrameFiles();
    void virtualCameraPlaysSourceFile();
    void virtualCameraStillRoomAndFigure();

    void previewShowsScaledFrames();
    void previewRateThrottlesDisplay();
    void grabStillPausesDisplay();
    void overlayGrabsFirstAndShowsLive();

    void endOfSourceReportsDeviceLost_data();
    void endOfSourceReportsDeviceLost();
    void loopingSourceRunsOn_data();
    void loopingSourceRunsOn();
    void closeStopsWaitingThread();
    void closedSessionEventsAreDropped();

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

void TestCapturePipeline::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
}

// ---- the virtual camera ------------------------------------------------------------------

void TestCapturePipeline::virtualCameraSavesFrameFiles() {
    const QString folder = folder_->path();
    TVideoCapture video(systemDrivers(folder), folder);
    QCOMPARE(video.ListDrivers(), QStringList{QStringLiteral("Ostrel Virtual Camera 1.0")});
    video.setDriverIndex(0);
    QCOMPARE(video.DriverName(), QStringLiteral("Ostrel Virtual Camera"));
    QVERIFY(!video.HasOverlay() && !video.HasFormatDialog() && video.HasSourceDialog());

    video.setDriverOpen(true);
    QCOMPARE(video.imageWidth(), quint16(640));
    QCOMPARE(video.imageHeight(), quint16(480));
    QVERIFY(!video.SaveFrameFile()); // nothing grabbed yet

    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QVERIFY(video.GrabFrameLive());
    QCOMPARE(status.count(), 1);
    QVERIFY(video.SaveFrameFile());

    const QString name = QDir(folder).filePath(QStringLiteral("Capture.bmp"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QCOMPARE(data.size(), 54 + 640 * 3 * 480);
    QCOMPARE(qFromLittleEndian<quint16>(data.constData() + 28), quint16(24));
    QCOMPARE(qFromLittleEndian<qint32>(data.constData() + 22), 480); // bottom-up
    const QImage saved = bitmap::decode(data);
    QCOMPARE(saved.size(), QSize(640, 480));
    QCOMPARE(frameSum(saved), frameSum(video.lastGrabbedFrame()));
    QVERIFY(frameSum(saved) > 0);

    // Other names: absolute, and in a folder that does not exist.
    QTemporaryDir elsewhere;
    const QString absolute = QDir(elsewhere.path()).filePath(QStringLiteral("temp00.bmp"));
    video.setSingleImageFile(absolute);
    QVERIFY(video.SaveFrameFile());
    QCOMPARE(bitmap::load(absolute).size(), QSize(640, 480));
    video.setSingleImageFile(QStringLiteral("no/such/folder/x.bmp"));
    QVERIFY(!video.SaveFrameFile());

    video.setDriverOpen(false);
    QVERIFY(!video.SaveFrameFile()); // closed: the grab is gone with the device
    QVERIFY(video.lastGrabbedFrame().isNull());
}

void TestCapturePipeline::virtualCameraPlaysSourceFile() {
    const QString folder = folder_->path();
    QImage picture(64, 48, QImage::Format_BGR888);
    picture.fill(QColor(10, 200, 30));
    bitmap::save(QDir(folder).filePath(QStringLiteral("scene.bmp")), picture);
    writeFile(QDir(folder).filePath(QStringLiteral("vcap.sif")),
              "[Virtual Camera]\nSource=scene.bmp\n");

    TVideoCapture video(systemDrivers(folder), folder);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QCOMPARE(video.imageWidth(), quint16(64));
    QVERIFY(video.GrabFrameLive());
    const QColor seen = video.lastGrabbedFrame().pixelColor(32, 24);
    QVERIFY2(qAbs(seen.green() - 200) < 8 && seen.red() < 20, qPrintable(seen.name()));

    // A source file that has gone away falls back to the room.
    video.setDriverOpen(false);
    QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("scene.bmp"))));
    video.setDriverOpen(true);
    QCOMPARE(video.imageWidth(), quint16(640));
}

void TestCapturePipeline::virtualCameraStillRoomAndFigure() {
    const QString folder = folder_->path();
    writeFile(QDir(folder).filePath(QStringLiteral("vcap.sif")),
              "[Virtual Camera]\nMotion_Interval=3\n");
    TVideoCapture video(systemDrivers(folder), folder);
    video.setDriverIndex(0);
    video.setPreviewRate(15);

    struct Sample {
        qint64 ms;
        quint64 sum;
    };
    QList<Sample> samples;
    QElapsedTimer clock;
    connect(&video, &TVideoCapture::frameShown, this, [&] {
        samples.append({clock.elapsed(), frameSum(video.displayedFrame())});
    });
    video.setVideoPreview(true);
    clock.start();
    QTest::qWait(5000);
    video.setDriverOpen(false);

    // Still: the first 2.4 s. The figure enters at 3 s and crosses until 6 s.
    QList<quint64> still;
    QList<quint64> crossing;
    for (const Sample& s : samples) {
        if (s.ms < 2400)
            still << s.sum;
        else if (s.ms > 3600 && s.ms < 4900)
            crossing << s.sum;
    }
    QVERIFY2(still.size() >= 10, qPrintable(QString::number(still.size())));
    QVERIFY2(crossing.size() >= 5, qPrintable(QString::number(crossing.size())));

    double stillMean = 0;
    for (quint64 s : still)
        stillMean += double(s) / still.size();
    double largestStep = 0; // between consecutive still frames, in percent
    for (int i = 1; i < still.size(); ++i)
        largestStep = std::max(largestStep,
                               100.0 * qAbs(double(still[i]) - double(still[i - 1])) / stillMean);
    double largestChange = 0; // of a crossing frame against the still room, in percent
    for (quint64 s : crossing)
        largestChange = std::max(largestChange, 100.0 * qAbs(double(s) - stillMean) / stillMean);
    qInfo("still: %lld frames, largest step %.4f%%; crossing: %lld frames, change %.2f%%",
          qint64(still.size()), largestStep, qint64(crossing.size()), largestChange);
    QVERIFY2(largestStep < 0.1, qPrintable(QString::number(largestStep)));
    QVERIFY2(largestChange > 2.0, qPrintable(QString::number(largestChange)));
}

// ---- live display ------------------------------------------------------------------------

void TestCapturePipeline::previewShowsScaledFrames() {
    TVideoCapture video(oneDriver(testPicture()), folder_->path());
    video.resize(500, 300);
    video.setDriverIndex(0);
    video.setPreviewRate(30);
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QSignalSpy shown(&video, &TVideoCapture::frameShown);
    video.setVideoPreview(true); // opens the device first
    QVERIFY(video.DriverOpen());
    QVERIFY(video.VideoPreview());
    QCOMPARE(status.count(), 2); // the open, then the preview
    QVERIFY(shown.wait(3000));
    QCOMPARE(video.displayedFrame().size(), QSize(320, 240));
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 320, 240));

    video.setPreviewScaleToWindow(true);
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 500, 300));
    video.setPreviewScaleProportional(true);
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 400, 300));
    video.show();
    video.resize(399, 300);
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 399, 299));

    // The picture fills the capture window; the rest of the widget is black.
    const QImage screen = video.grab().toImage();
    QCOMPARE(screen.pixelColor(200, 299), QColor(Qt::black));
    qint64 lit = 0;
    for (int x = 0; x < 399; x += 7)
        lit += screen.pixelColor(x, 150).value();
    QVERIFY(lit > 0);

    video.setVideoPreview(false);
    QVERIFY(!video.VideoPreview());
    QVERIFY(video.DriverOpen());
    QTest::qWait(100); // a frame already under way may still arrive
    QCOMPARE(countFrames(video, 300), 0);
}

void TestCapturePipeline::previewRateThrottlesDisplay() {
    TVideoCapture video(oneDriver(lavfiSource(QStringLiteral("testsrc=size=160x120:rate=30"))),
                        folder_->path());
    video.setDriverIndex(0);
    video.setPreviewRate(5);
    video.setVideoPreview(true);
    QTest::qWait(300);
    const int slow = countFrames(video, 2000);
    QVERIFY2(slow >= 3 && slow <= 12, qPrintable(QString::number(slow)));
    video.setPreviewRate(30);
    const int fast = countFrames(video, 2000);
    QVERIFY2(fast > slow * 2, qPrintable(QStringLiteral("%1 then %2").arg(slow).arg(fast)));
}

void TestCapturePipeline::grabStillPausesDisplay() {
    TVideoCapture video(oneDriver(testPicture()), folder_->path());
    video.setDriverIndex(0);
    video.setVideoPreview(true);
    QSignalSpy shown(&video, &TVideoCapture::frameShown);
    QVERIFY(shown.wait(3000));

    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QVERIFY(video.GrabFrameStill());
    QCOMPARE(status.count(), 1);
    QVERIFY(!video.VideoPreview());
    QCOMPARE(video.displayedFrame(), video.lastGrabbedFrame());
    QTest::qWait(100);
    QCOMPARE(countFrames(video, 400), 0);
    QCOMPARE(video.displayedFrame(), video.lastGrabbedFrame());

    video.setVideoPreview(true);
    QVERIFY(shown.wait(3000));
    // The live grab keeps the display running.
    QVERIFY(video.GrabFrameLive());
    QVERIFY(video.VideoPreview());
    QVERIFY(shown.wait(3000));
}

void TestCapturePipeline::overlayGrabsFirstAndShowsLive() {
    TVideoCapture video(oneDriver(testPicture(), DriverCaps{true, false, false, false}),
                        folder_->path());
    video.setDriverIndex(0);
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    video.setVideoOverlay(true);
    QVERIFY(video.DriverOpen());
    QVERIFY(video.VideoOverlay());
    QVERIFY(!video.VideoPreview());
    QVERIFY(!video.lastGrabbedFrame().isNull()); // the still grab came first
    QCOMPARE(status.count(), 3);                 // open, grab, overlay
    QSignalSpy shown(&video, &TVideoCapture::frameShown);
    QVERIFY(shown.wait(3000));

    video.setVideoPreview(true); // one or the other
    QVERIFY(video.VideoPreview());
    QVERIFY(!video.VideoOverlay());
    video.setVideoOverlay(true);
    QVERIFY(video.VideoOverlay());
    QVERIFY(!video.VideoPreview());
    video.setVideoOverlay(false);
    QVERIFY(!video.VideoOverlay());
    QVERIFY(video.DriverOpen());
}

// ---- sources that end, loop, or wait -----------------------------------------------------

void TestCapturePipeline::endOfSourceReportsDeviceLost_data() {
    QTest::addColumn<bool>("paced");
    QTest::newRow("live source") << true;
    QTest::newRow("paced to its timestamps") << false;
}

void TestCapturePipeline::endOfSourceReportsDeviceLost() {
    QFETCH(bool, paced);
    TVideoCapture video(
        oneDriver(lavfiSource(QStringLiteral("testsrc=duration=1:size=160x120:rate=15"), paced)),
        folder_->path());
    video.setDriverIndex(0);
    QSignalSpy errors(&video, &TVideoCapture::OnError);
    QThread* deliveredOn = nullptr;
    connect(
        &video, &TVideoCapture::OnError, this, [&] { deliveredOn = QThread::currentThread(); },
        Qt::DirectConnection);
    video.setDriverOpen(true);
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toInt(), ENODEV);
    QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("Capture device was not detected."));
    QCOMPARE(deliveredOn, QThread::currentThread());
    QVERIFY(video.DriverOpen()); // closing is the program's decision
    QVERIFY(!video.GrabFrameLive());
    QTest::qWait(200);
    QCOMPARE(errors.count(), 1);
}

void TestCapturePipeline::loopingSourceRunsOn_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("graph that must be opened again") << "lavfi";
    QTest::newRow("single picture file") << "bitmap";
}

void TestCapturePipeline::loopingSourceRunsOn() {
    QFETCH(QString, kind);
    SourceSpec spec;
    if (kind == QLatin1String("lavfi")) {
        spec =
            lavfiSource(QStringLiteral("testsrc=duration=0.4:size=160x120:rate=15"), false, true);
    } else {
        const QString name = QDir(folder_->path()).filePath(QStringLiteral("one.bmp"));
        QImage picture(32, 32, QImage::Format_BGR888);
        picture.fill(Qt::gray);
        bitmap::save(name, picture);
        spec.url = name;
        spec.loop = true;
    }
    TVideoCapture video(oneDriver(spec), folder_->path());
    video.setDriverIndex(0);
    video.setPreviewRate(30);
    QSignalSpy errors(&video, &TVideoCapture::OnError);
    video.setVideoPreview(true);
    QTest::qWait(200);
    const int frames = countFrames(video, 1500);
    QVERIFY2(frames >= 8, qPrintable(QString::number(frames)));
    // Paced: a one-picture file must not spin through thousands of frames.
    QVERIFY2(frames <= 50, qPrintable(QString::number(frames)));
    QCOMPARE(errors.count(), 0);
    QVERIFY(video.GrabFrameLive());
}

void TestCapturePipeline::closeStopsWaitingThread() {
    // One frame every 4 seconds: the capture thread spends its time waiting.
    TVideoCapture video(oneDriver(lavfiSource(QStringLiteral("testsrc=size=160x120:rate=1/4"))),
                        folder_->path());
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QVERIFY(video.GrabFrameLive());
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    video.setDriverOpen(false);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

void TestCapturePipeline::closedSessionEventsAreDropped() {
    auto* video = new TVideoCapture(oneDriver(testPicture()), folder_->path());
    video->setDriverIndex(0);
    video->setPreviewRate(30);
    video->setVideoPreview(true);
    QSignalSpy shown(video, &TVideoCapture::frameShown);
    QVERIFY(shown.wait(3000));
    // Frames posted just before the close must not show up after it.
    QThread::msleep(100);
    video->setDriverOpen(false);
    shown.clear();
    QTest::qWait(200);
    QCOMPARE(shown.count(), 0);
    QVERIFY(video->displayedFrame().isNull());

    // Destroying a running device with frames in flight.
    video->setVideoPreview(true);
    QVERIFY(shown.wait(3000));
    QThread::msleep(100);
    delete video;
    QTest::qWait(100);
}

QTEST_MAIN(TestCapturePipeline)
#include "tst_capturepipeline.moc"
