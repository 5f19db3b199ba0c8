// The capture device: its property rules (driver index and name, rates and limits, the
// capture window's geometry), the failures to open, the capabilities and dialogs, and the
// pipeline end to end: real FFmpeg sources (lavfi graphs, bitmap files, the virtual
// camera) through the capture thread into the display, grabs and frame files, and the
// events of sources that end.
#include "../common/FreshFolder.h"
#include "ScriptedDrivers.h"
#include "capture/CaptureSession.h"
#include "capture/VideoCapture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cerrno>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// The event loop has handled what the capture thread posted while it made two more frames.
bool framesPassed(TVideoCapture& video) {
    const bool made = newFrame(video) && newFrame(video);
    QCoreApplication::processEvents();
    return made;
}

std::shared_ptr<ScriptedDrivers> oneDriver(SourceSpec spec = testPicture(), DriverCaps caps = {}) {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Test"), std::move(spec), caps);
    return drivers;
}

struct Selection {
    const char* choice;
    int index;
    const char* name;
};
struct OpenFailure {
    SourceSpec spec;
    QString driver, reason, error;
};
struct DialogRow {
    int index;
    bool confirm;
    int expectedStatus, expectedShown;
};
struct Ending {
    bool bitmapFile, paced, loop;
};

} // namespace

Q_DECLARE_METATYPE(Selection)
Q_DECLARE_METATYPE(OpenFailure)
Q_DECLARE_METATYPE(DialogRow)
Q_DECLARE_METATYPE(Ending)

class TestVideoCapture : public QObject {
    Q_OBJECT
private slots:

    void initTestCase() {
        // Buffer files go to the temporary folder; keep them where this test can see them.
        QVERIFY(tempRoot_.isValid());
        qputenv("TMPDIR", QFile::encodeName(tempRoot_.path()));
    }

    void init() { QVERIFY(folder_.renew()); }

    // ---- driver index and name, rates and limits, geometry -----------------------------------

    void selection_data() {
        QTest::addColumn<Selection>("row"); // choice: an index, or a name after "name "
        QTest::newRow("second driver") << Selection{"1", 1, "Twin"};
        QTest::newRow("in the gap") << Selection{"3", -1, ""};
        QTest::newRow("past the last index") << Selection{"10", -1, ""};
        QTest::newRow("first name match wins") << Selection{"name Twin", 1, "Twin"};
        QTest::newRow("behind a gap") << Selection{"name Far", 5, "Far"};
        QTest::newRow("unknown name") << Selection{"name Nobody", -1, ""};
        QTest::newRow("case matters") << Selection{"name twin", -1, ""};
    }

    void selection() {
        QFETCH(Selection, row);
        const QString choice = QString::fromLatin1(row.choice);
        auto drivers = std::make_shared<ScriptedDrivers>();
        const std::pair<int, const char*> installed[] = {
            {0, "Zero"}, {1, "Twin"}, {2, "Twin"}, {5, "Far"}};
        for (auto [index, name] : installed)
            drivers->add(index, QString::fromLatin1(name));
        TVideoCapture video(drivers, folder_.dir.path());
        // The list stops at the first index without a driver.
        QCOMPARE(video.ListDrivers(), (QStringList{"Zero 1.0", "Twin 1.0", "Twin 1.0"}));
        video.setDriverIndex(0);
        if (choice.startsWith(QLatin1String("name ")))
            video.setDriverName(choice.mid(5));
        else
            video.setDriverIndex(choice.toInt());
        QCOMPARE(video.DriverIndex(), row.index);
        QCOMPARE(video.DriverName(), QString::fromLatin1(row.name));
        for (int i = 0; i < 12; ++i)
            drivers->add(i, QStringLiteral("Camera"));
        QCOMPARE(video.ListDrivers().size(), 10); // only indices 0 to 9 exist
    }

    void limits() {
        TVideoCapture video(std::make_shared<ScriptedDrivers>(), folder_.dir.path());
        const auto index = [&](quint32 size) {
            video.setCapIndexSize(size);
            return video.CapIndexSize();
        };
        QCOMPARE(index(0), 0u);
        QCOMPARE(index(1), 1800u); // raised
        QCOMPARE(index(400000), 324000u);
        const auto rate = [&](quint16 fps) {
            video.setFrameRate(fps);
            return std::pair{video.MicroSecPerFrame(), video.FrameRate()};
        };
        QCOMPARE(rate(0), std::pair(66667u, quint16(15))); // 0 keeps the time
        QCOMPARE(rate(60), std::pair(16667u, quint16(60)));
        QCOMPARE(rate(128), std::pair(7812u, quint16(128))); // half rounds to even
        video.setMicroSecPerFrame(10000);                    // the floor
        QCOMPARE(rate(0), std::pair(33333u, quint16(30)));
        video.setMicroSecPerFrame(4000000);
        QCOMPARE(rate(0), std::pair(4000000u, quint16(0)));
        video.setPreviewRate(45);
        QCOMPARE(video.PreviewRate(), 30);
        video.setPreviewRate(0);
        QCOMPARE(video.PreviewRate(), 1);
        // The capture window: not centred, half a pixel rounds to even, an unknown picture
        // or a widget without height fill (399 x 300 giving 399 x 299: on the widget, in
        // previewShowsScaledFrames).
        const QSize qvga(320, 240);
        QCOMPARE(TVideoCapture::scaledWindow(true, false, {500, 300}, qvga), QRect(0, 0, 500, 300));
        QCOMPARE(TVideoCapture::scaledWindow(true, true, {300, 500}, qvga), QRect(0, 0, 300, 225));
        QCOMPARE(TVideoCapture::scaledWindow(true, true, {100, 1}, {5, 2}), QRect(0, 0, 2, 1));
        QCOMPARE(TVideoCapture::scaledWindow(true, true, {500, 300}, {}), QRect(0, 0, 500, 300));
        QCOMPARE(TVideoCapture::scaledWindow(true, true, {500, 0}, qvga), QRect(0, 0, 500, 0));
    }

    // ---- opening, capabilities and dialogs ---------------------------------------------------

    void openFailures_data() {
        // driver "": none installed; "gone": uninstalled after the choice. reason: the step that
        // failed, then FFmpeg's own text.
        QTest::addColumn<OpenFailure>("row");
        const QString notConnected =
            QStringLiteral("Can not connect capture driver with capture window");
        QTest::newRow("no driver") << OpenFailure{{}, "", "", "No capture driver selected"};
        QTest::newRow("driver went away") << OpenFailure{{}, "gone", "", notConnected};
        QTest::newRow("missing camera device") << OpenFailure{
            missingCamera(), "camera",
            "Opening the input \"/dev/ostrel-no-such-camera\" failed: No such file or directory",
            notConnected};
        QTest::newRow("filter graph that does not parse")
            << OpenFailure{lavfiSource("nosuchfilter=1"), "camera",
                           "Opening the input \"nosuchfilter=1\" failed: ", notConnected};
        QTest::newRow("sound only") << OpenFailure{
            lavfiSource("anullsrc"), "camera",
            "Finding a video stream and its decoder failed: Stream not found", notConnected};
    }

    void openFailures() {
        QFETCH(OpenFailure, row);
        const auto& [spec, driver, reason, error] = row;
        if (!reason.isEmpty()) {
            QString why;
            QVERIFY(!CaptureSession::open(spec, &why));
            QVERIFY2(why.startsWith(reason), qPrintable(why));
            QVERIFY2(!why.endsWith(QLatin1String(": ")), qPrintable(why));
        }
        auto drivers = std::make_shared<ScriptedDrivers>();
        if (!driver.isEmpty()) drivers->add(0, QStringLiteral("Broken"), spec);
        auto video = capture(drivers);
        if (driver == QLatin1String("gone")) drivers->byIndex.clear();
        QSignalSpy status(video.get(), &TVideoCapture::OnStatus);
        QCOMPARE(messageOf([&] { video->setDriverOpen(true); }), error);
        QCOMPARE(status.count(), 1);
        QVERIFY(!video->DriverOpen());
        QCOMPARE(video->DriverIndex(), driver.isEmpty() ? -1 : 0); // kept, to be tried again
        QVERIFY(video->captureWindowGeometry().isEmpty());
        // Switching preview on opens first, and fails the same way; overlay needs a driver
        // that has it.
        QCOMPARE(messageOf([&] { video->setVideoPreview(true); }), error);
        QVERIFY(!video->VideoPreview());
        QCOMPARE(messageOf([&] { video->setVideoOverlay(true); }),
                 QStringLiteral("Driver has no overlay mode"));
        QVERIFY(!video->VideoOverlay());
    }

    void closedDeviceAnswersFalse() {
        auto video = capture(oneDriver());
        QSignalSpy status(video.get(), &TVideoCapture::OnStatus);
        for (bool answer : {video->GrabFrameLive(), video->GrabFrameStill(), video->SaveFrameFile(),
                            video->StartRecording(), video->StopRecording(), video->IsRecording(),
                            video->SaveRecordingAs(), video->VideoPreview(), video->VideoOverlay()})
            QVERIFY(!answer);
        QVERIFY(!QFile::exists(QDir(folder_.dir.path()).filePath(QStringLiteral("Capture.bmp"))));
        video->setVideoPreview(false); // already off: nothing opens
        QVERIFY(!video->DriverOpen());
        QCOMPARE(status.count(), 0);
    }

    void capabilitiesOpenTemporarilyAndAreCached() {
        auto drivers = oneDriver(missingCamera(), DriverCaps{true, true, false, true});
        auto a = std::static_pointer_cast<ScriptedDriver>(drivers->driver(0));
        TVideoCapture video(drivers, folder_.dir.path());
        QVERIFY(!video.HasOverlay()); // no driver: nothing to ask
        video.setDriverIndex(0);
        QVERIFY(!video.HasOverlay()); // a driver that does not connect answers nothing,
        QVERIFY(!video.HasFormatDialog());
        QCOMPARE(a->sourceCalls, 2); // and nothing is kept: each question tries again
        a->spec = testPicture();     // the camera is plugged in
        QSignalSpy status(&video, &TVideoCapture::OnStatus);
        QVERIFY(video.HasOverlay());
        QVERIFY(video.HasFormatDialog());
        QVERIFY(!video.HasSourceDialog());
        QVERIFY(video.HasDisplayDialog());
        QCOMPARE(a->sourceCalls, 3); // connected once, for the first question
        QVERIFY(!video.DriverOpen());
        QCOMPARE(status.count(), 0);
        // Another driver closes the device and drops what was asked of the first one.
        auto b = drivers->add(1, QStringLiteral("B"));
        video.setDriverOpen(true);
        video.setDriverIndex(0); // the same index changes nothing
        QVERIFY(video.DriverOpen());
        video.setDriverIndex(1);
        QVERIFY(!video.DriverOpen());
        QCOMPARE(QSize(video.imageWidth(), video.imageHeight()), QSize(0, 0));
        QVERIFY(video.captureWindowGeometry().isEmpty());
        QVERIFY(!video.HasOverlay()); // asked again, of driver B
        QCOMPARE(b->sourceCalls, 1);
    }

    void dialogs_data() {
        QTest::addColumn<DialogRow>("row");
        // A temporary open reports its status too: one for the open, one for the confirmation.
        QTest::newRow("confirmed") << DialogRow{0, true, 2, 1};
        QTest::newRow("cancelled") << DialogRow{0, false, 1, 1};
        QTest::newRow("no driver selected") << DialogRow{-1, true, 0, 0};
    }

    void dialogs() {
        QFETCH(DialogRow, row);
        const auto [index, confirm, expectedStatus, expectedShown] = row;
        auto drivers = oneDriver();
        auto a = std::static_pointer_cast<ScriptedDriver>(drivers->driver(0));
        bool openWhileShown = false;
        TVideoCapture video(drivers, folder_.dir.path());
        a->formatDialog = [&, confirm = confirm](QWidget* parent) {
            openWhileShown = video.DriverOpen() && parent == &video;
            return confirm;
        };
        video.setDriverIndex(index);
        QSignalSpy status(&video, &TVideoCapture::OnStatus);
        QCOMPARE(video.ShowFormatDialog(), confirm && expectedShown > 0);
        QCOMPARE(status.count(), expectedStatus);
        QCOMPARE(openWhileShown, expectedShown > 0);
        QVERIFY(!video.DriverOpen());       // closed again, as it was
        QVERIFY(!video.ShowSourceDialog()); // no driver here offers these
        QVERIFY(!video.ShowDisplayDialog());
    }

    void dialogOnOpenDeviceReconnects() {
        auto drivers = oneDriver();
        auto a = std::static_pointer_cast<ScriptedDriver>(drivers->driver(0));
        SourceSpec next = lavfiSource(QStringLiteral("testsrc=size=160x120:rate=15"));
        a->formatDialog = [&](QWidget*) {
            a->spec = next;
            return true;
        };
        auto video = capture(drivers);
        video->resize(200, 200);
        video->setPreviewRate(30);
        video->setVideoPreview(true);
        QSignalSpy shown(video.get(), &TVideoCapture::frameShown);
        QTRY_COMPARE_GE_WITH_TIMEOUT(shown.count(), 2, 3000); // delivering steadily
        QCOMPARE(video->captureWindowGeometry(), QRect(0, 0, 320, 240));
        QVERIFY(newFrame(*video, false)); // a frame of the old connection waits in the queue
        QVERIFY(video->ShowFormatDialog());
        QVERIFY(video->DriverOpen());
        QCOMPARE(video->captureWindowGeometry(), QRect(0, 0, 160, 120));
        // That frame is dropped: the first one shown comes from the new connection.
        QList<QSize> sizes;
        connect(video.get(), &TVideoCapture::frameShown, this,
                [&] { sizes << video->displayedFrame().size(); });
        QVERIFY(shown.wait(3000));
        QCOMPARE(sizes.first(), QSize(160, 120));
        // Frames posted just before a close never show up after it (the close joins the
        // capture thread, so all it posted is in the queue).
        QVERIFY(newFrame(*video, false));
        video->setDriverOpen(false);
        shown.clear();
        QCoreApplication::processEvents();
        QCOMPARE(shown.count(), 0);
        QVERIFY(video->displayedFrame().isNull());
        video->setDriverOpen(true);
        // A new format the driver cannot deliver leaves the device closed, with the error.
        next = missingCamera();
        QCOMPARE(messageOf([&] { video->ShowFormatDialog(); }),
                 QStringLiteral("Can not connect capture driver with capture window"));
        QVERIFY(!video->DriverOpen());
    }

    void bufferFile() {
        const QDir temp(tempRoot_.path());
        auto files = [&] { return temp.entryList({QStringLiteral("cap*")}, QDir::Files); };
        auto video = capture(oneDriver());
        video->setBufferFileSize(2); // closed: only remembered
        QVERIFY(files().isEmpty());
        video->setDriverOpen(true);
        const QStringList first = files();
        QCOMPARE(first.size(), 1);
        QCOMPARE(QFileInfo(temp.filePath(first.first())).size(), qint64(2) * 1048576);
        video->setBufferFileSize(1); // open: the same file, the new size reserved
        QCOMPARE(files(), first);
        video->setBufferFileSize(0); // gone, and forgotten
        QVERIFY(files().isEmpty());
        video->setBufferFileSize(1);
        QCOMPARE(files().size(), 1);
        video->setDriverOpen(false); // closing releases it
        QVERIFY(files().isEmpty());
    }

    // ---- frames: files, display, grabs -------------------------------------------------------

    void frameFiles() {
        const QString folder = folder_.dir.path();
        // The virtual camera, its source file gone: it falls back to the room.
        QVERIFY(writeRepeated(folder + "/vcap.sif", "[Virtual Camera]\nSource=scene.bmp\n", 1));
        auto video = capture(systemDrivers(folder), folder);
        video->setDriverOpen(true);
        QVERIFY(!video->SaveFrameFile()); // nothing grabbed yet
        QSignalSpy status(video.get(), &TVideoCapture::OnStatus);
        QVERIFY(video->GrabFrameLive());
        QCOMPARE(status.count(), 1);
        QVERIFY(video->SaveFrameFile());
        const QImage saved = bitmap::load(QDir(folder).filePath(QStringLiteral("Capture.bmp")));
        QCOMPARE(saved, video->lastGrabbedFrame().convertToFormat(QImage::Format_BGR888));
        // Other names: absolute, and in a folder that does not exist.
        QTemporaryDir elsewhere;
        video->setSingleImageFile(QDir(elsewhere.path()).filePath(QStringLiteral("temp00.bmp")));
        QVERIFY(video->SaveFrameFile(bitmap::Durability::Unsynced));
        QCOMPARE(bitmap::load(video->SingleImageFile()).size(), QSize(640, 480));
        video->setSingleImageFile(QStringLiteral("no/such/folder/x.bmp"));
        QVERIFY(!video->SaveFrameFile());
        video->setDriverOpen(false);
        QVERIFY(!video->SaveFrameFile()); // closed: the grab is gone with the device
        QVERIFY(video->lastGrabbedFrame().isNull());
    }

    void previewShowsScaledFrames() {
        TVideoCapture video(oneDriver(), folder_.dir.path());
        video.resize(500, 300);
        video.setDriverIndex(0);
        // The preview rate says how often the display is fed, never whether: frames keep
        // coming at a low rate and after a change.
        video.setPreviewRate(5);
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
        video.setPreviewScaleProportional(true);
        QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 400, 300));
        video.show();
        video.resize(399, 300);
        QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 399, 299));
        // The picture fills the capture window in its own colours (scaled on the capture
        // thread once a frame comes at the new size); the rest of the widget is black.
        const qsizetype before = shown.count(); // one frame may be under way at the old size
        QTRY_COMPARE_GE_WITH_TIMEOUT(shown.count(), before + 2, 3000);
        const QImage screen = video.grab().toImage();
        QCOMPARE(screen.pixelColor(200, 299), QColor(Qt::black));
        // Point by point, the screen shows the frame's colours.
        const QImage frame = video.displayedFrame();
        int far = 0, points = 0;
        for (int y = 10; y < 290; y += 20)
            for (int x = 10; x < 390; x += 20, ++points) {
                const QColor a = screen.pixelColor(x, y);
                const QColor b = frame.pixelColor(x * 320 / 399, y * 240 / 299);
                far += std::abs(a.red() - b.red()) + std::abs(a.blue() - b.blue()) > 120;
            }
        QCOMPARE_LT(far * 5, points);
        video.setPreviewRate(30);
        shown.clear();
        QTRY_COMPARE_GE_WITH_TIMEOUT(shown.count(), 3, 10000);
        shown.clear();
        video.setVideoPreview(false);
        QVERIFY(!video.VideoPreview());
        QVERIFY(video.DriverOpen());
        QVERIFY(framesPassed(video));
        QCOMPARE(shown.count(), 0);
    }

    void grabsAndOverlay() {
        auto video = capture(oneDriver(testPicture(), DriverCaps{true, false, false, false}));
        QSignalSpy status(video.get(), &TVideoCapture::OnStatus);
        QSignalSpy shown(video.get(), &TVideoCapture::frameShown);
        video->setVideoOverlay(true);
        QVERIFY(video->DriverOpen());
        QVERIFY(video->VideoOverlay());
        QVERIFY(!video->VideoPreview());
        QVERIFY(!video->lastGrabbedFrame().isNull()); // the still grab came first
        QCOMPARE(status.count(), 3);                  // open, grab, overlay
        QVERIFY(shown.wait(3000));
        video->setVideoPreview(true); // one or the other
        QVERIFY(video->VideoPreview());
        QVERIFY(!video->VideoOverlay());
        QVERIFY(shown.wait(3000));

        // The still grab ends the live display, which keeps the grabbed picture.
        status.clear();
        QVERIFY(video->GrabFrameStill());
        QCOMPARE(status.count(), 1);
        QVERIFY(!video->VideoPreview());
        QCOMPARE(video->displayedFrame(), video->lastGrabbedFrame());
        shown.clear();
        QVERIFY(framesPassed(*video));
        QCOMPARE(shown.count(), 0);
        // The live grab keeps the display running.
        video->setVideoPreview(true);
        video->setVideoOverlay(true); // one or the other
        QVERIFY(!video->VideoPreview());
        QVERIFY(video->GrabFrameLive());
        QVERIFY(video->VideoOverlay());
        QVERIFY(shown.wait(3000));
        video->setVideoOverlay(false);
        QVERIFY(!video->VideoOverlay());
        QVERIFY(video->DriverOpen());
    }

    // ---- sources that end, loop, or wait -----------------------------------------------------

    void sourceEndsOrLoops_data() {
        QTest::addColumn<Ending>("row");
        QTest::newRow("live source ends") << Ending{false, true, false};
        QTest::newRow("source paced to its timestamps ends") << Ending{false, false, false};
        QTest::newRow("graph that must be opened again loops") << Ending{false, false, true};
        QTest::newRow("single picture file loops") << Ending{true, false, true};
    }

    void sourceEndsOrLoops() {
        QFETCH(Ending, row);
        const auto [bitmapFile, paced, loop] = row;
        SourceSpec spec =
            lavfiSource(QStringLiteral("testsrc=duration=0.6:size=160x120:rate=15"), paced, loop);
        if (bitmapFile) {
            spec = SourceSpec{};
            spec.url = QDir(folder_.dir.path()).filePath(QStringLiteral("one.bmp"));
            spec.loop = true;
            QImage picture(32, 32, QImage::Format_BGR888);
            picture.fill(Qt::gray);
            bitmap::save(spec.url, picture);
        }
        auto video = capture(oneDriver(spec));
        QSignalSpy errors(video.get(), &TVideoCapture::OnError);
        QThread* deliveredOn = nullptr;
        connect(
            video.get(), &TVideoCapture::OnError, this,
            [&] { deliveredOn = QThread::currentThread(); }, Qt::DirectConnection);
        QSignalSpy shown(video.get(), &TVideoCapture::frameShown);
        video->setVideoPreview(true);
        if (loop) {
            // Twice as many frames as the source holds: it went round.
            QTRY_COMPARE_GE_WITH_TIMEOUT(shown.count(), 20, 20000);
            QCOMPARE(errors.count(), 0);
            QVERIFY(video->GrabFrameLive());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 20000);
        QCOMPARE(errors.at(0).at(0).toInt(), ENODEV);
        QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("Capture device was not detected."));
        QCOMPARE(deliveredOn, QThread::currentThread());
        QVERIFY(video->DriverOpen()); // closing is the program's decision
        QVERIFY(!video->GrabFrameLive());
    }

    void readErrorsOfAGoneDevice() {
        for (int code : {ENODEV, EIO, ENXIO, ESHUTDOWN})
            QVERIFY2(CaptureSession::isDeviceLost(-code), strerror(code));
        QVERIFY(!CaptureSession::isDeviceLost(-EAGAIN)); // try again: the device is still there
    }

private:
    // A device on the first driver, not yet open.
    std::unique_ptr<TVideoCapture> capture(std::shared_ptr<DriverRegistry> drivers,
                                           const QString& folder = {}) {
        auto video = std::make_unique<TVideoCapture>(drivers, folder.isEmpty() ? folder_.dir.path()
                                                                               : folder);
        video->setDriverIndex(0);
        return video;
    }
    QTemporaryDir tempRoot_;
    FreshFolder folder_;
};

QTEST_MAIN(TestVideoCapture)
#include "tst_videocapture.moc"
