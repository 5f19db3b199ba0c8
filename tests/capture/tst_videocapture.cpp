// The capture device's property rules: driver index and name, the driver list, the rates
// and limits, the capture window's geometry, the exceptions, and what a closed device
// answers. Drivers are scripted; the ones that connect play lavfi test pictures.
#include "ScriptedDrivers.h"
#include "capture/CaptureSession.h"
#include "capture/DriverDialogs.h"
#include "capture/VideoCapture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return QStringLiteral("(nothing raised)");
}

} // namespace

class TestVideoCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void driverIndex_data();
    void driverIndex();
    void driverIndexChangeClosesAndDropsCaches();
    void driverName_data();
    void driverName();
    void listDrivers_data();
    void listDrivers();

    void previewRate_data();
    void previewRate();
    void frameTimes_data();
    void frameTimes();
    void indexSize_data();
    void indexSize();

    void scaledWindow_data();
    void scaledWindow();

    void openWithoutDriver();
    void openDriverThatWillNotConnect_data();
    void openDriverThatWillNotConnect();
    void closedDeviceAnswersFalse();
    void overlayNeedsOverlayDriver();

    void capabilitiesOpenTemporarilyAndAreCached();
    void capabilitiesOfDriverThatWillNotConnect();
    void dialogs_data();
    void dialogs();
    void dialogOnOpenDeviceReconnects();

    void bufferFile();

private:
    QTemporaryDir tempRoot_;
};

void TestVideoCapture::initTestCase() {
    // Buffer files go to the temporary folder; keep them where this test can see them.
    QVERIFY(tempRoot_.isValid());
    qputenv("TMPDIR", QFile::encodeName(tempRoot_.path()));
}

// ---- driver index, name and list ---------------------------------------------------------

void TestVideoCapture::driverIndex_data() {
    QTest::addColumn<QList<int>>("installed");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QString>("expectedName");

    QTest::newRow("second of two") << QList<int>{0, 1} << 1 << 1 << "Camera 1";
    QTest::newRow("3 with drivers at 0 and 1") << QList<int>{0, 1} << 3 << -1 << "";
    QTest::newRow("past the last index") << QList<int>{0, 1} << 10 << -1 << "";
}

void TestVideoCapture::driverIndex() {
    QFETCH(QList<int>, installed);
    QFETCH(int, index);
    QFETCH(int, expectedIndex);
    QFETCH(QString, expectedName);
    auto drivers = std::make_shared<ScriptedDrivers>();
    for (int i : installed)
        drivers->add(i, QStringLiteral("Camera %1").arg(i));
    TVideoCapture video(drivers, tempRoot_.path());
    if (!installed.isEmpty()) {
        video.setDriverIndex(installed.first());
        QCOMPARE(video.DriverName(), QStringLiteral("Camera %1").arg(installed.first()));
    }
    video.setDriverIndex(index);
    QCOMPARE(video.DriverIndex(), expectedIndex);
    QCOMPARE(video.DriverName(), expectedName);
}

void TestVideoCapture::driverIndexChangeClosesAndDropsCaches() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("A"), testPicture(), DriverCaps{true, false, false, false});
    auto b = drivers->add(1, QStringLiteral("B"));
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QVERIFY(video.HasOverlay());
    QCOMPARE(video.imageWidth(), quint16(320));
    QCOMPARE(video.imageHeight(), quint16(240));

    video.setDriverIndex(0); // the same index changes nothing
    QVERIFY(video.DriverOpen());

    video.setDriverIndex(1);
    QVERIFY(!video.DriverOpen());
    QCOMPARE(video.imageWidth(), quint16(0));
    QCOMPARE(video.imageHeight(), quint16(0));
    QVERIFY(video.captureWindowGeometry().isEmpty());
    QVERIFY(!video.HasOverlay()); // asked again, of driver B
    QCOMPARE(b->sourceCalls, 1);  // which was connected to answer
}

void TestVideoCapture::driverName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expectedIndex");
    QTest::addColumn<QString>("expectedName");
    QTest::newRow("first match wins") << "Twin" << 1 << "Twin";
    QTest::newRow("behind a gap") << "Far" << 5 << "Far";
    QTest::newRow("unknown") << "Nobody" << -1 << "";
    QTest::newRow("case matters") << "twin" << -1 << "";
}

void TestVideoCapture::driverName() {
    QFETCH(QString, name);
    QFETCH(int, expectedIndex);
    QFETCH(QString, expectedName);
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Zero"));
    drivers->add(1, QStringLiteral("Twin"));
    drivers->add(2, QStringLiteral("Twin"));
    drivers->add(5, QStringLiteral("Far"));
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    video.setDriverName(name);
    QCOMPARE(video.DriverIndex(), expectedIndex);
    QCOMPARE(video.DriverName(), expectedName);
}

void TestVideoCapture::listDrivers_data() {
    QTest::addColumn<QList<int>>("installed");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QList<int>{} << QStringList{};
    QTest::newRow("0 and 2, none at 1") << QList<int>{0, 2} << QStringList{"Camera 0 1.0"};
    QList<int> all;
    QStringList allNames;
    for (int i = 0; i < 12; ++i) {
        all << i;
        if (i < 10) allNames << QStringLiteral("Camera %1 1.0").arg(i);
    }
    QTest::newRow("only indices 0 to 9 exist") << all << allNames;
}

void TestVideoCapture::listDrivers() {
    QFETCH(QList<int>, installed);
    QFETCH(QStringList, expected);
    auto drivers = std::make_shared<ScriptedDrivers>();
    for (int i : installed)
        drivers->add(i, QStringLiteral("Camera %1").arg(i));
    TVideoCapture video(drivers, tempRoot_.path());
    QCOMPARE(video.ListDrivers(), expected);
}

// ---- rates and limits --------------------------------------------------------------------

void TestVideoCapture::previewRate_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("expected");
    QTest::newRow("15") << 15 << 15;
    QTest::newRow("30") << 30 << 30;
    QTest::newRow("45 is limited") << 45 << 30;
    QTest::newRow("0 is limited") << 0 << 1;
}

void TestVideoCapture::previewRate() {
    QFETCH(int, rate);
    QFETCH(int, expected);
    TVideoCapture video(std::make_shared<ScriptedDrivers>(), tempRoot_.path());
    video.setPreviewRate(rate);
    QCOMPARE(int(video.PreviewRate()), expected);
}

void TestVideoCapture::frameTimes_data() {
    QTest::addColumn<int>("frameRate");      // -1: not set
    QTest::addColumn<qint64>("microSecond"); // -1: not set; set after the frame rate
    QTest::addColumn<quint32>("expectedMicroSec");
    QTest::addColumn<int>("expectedFrameRate");
    QTest::newRow("15 fps") << 15 << qint64(-1) << quint32(66667) << 15;
    QTest::newRow("60 fps passes the floor") << 60 << qint64(-1) << quint32(16667) << 60;
    QTest::newRow("0 fps keeps the time") << 0 << qint64(-1) << quint32(66667) << 15;
    QTest::newRow("half rounds to even") << 128 << qint64(-1) << quint32(7812) << 128;
    QTest::newRow("frame time floor") << -1 << qint64(10000) << quint32(33333) << 30;
    QTest::newRow("frame time after 60 fps") << 60 << qint64(20000) << quint32(33333) << 30;
    QTest::newRow("long frame time") << -1 << qint64(4000000) << quint32(4000000) << 0;
}

void TestVideoCapture::frameTimes() {
    QFETCH(int, frameRate);
    QFETCH(qint64, microSecond);
    QFETCH(quint32, expectedMicroSec);
    QFETCH(int, expectedFrameRate);
    TVideoCapture video(std::make_shared<ScriptedDrivers>(), tempRoot_.path());
    if (frameRate >= 0) video.setFrameRate(quint16(frameRate));
    if (microSecond >= 0) video.setMicroSecPerFrame(quint32(microSecond));
    QCOMPARE(video.MicroSecPerFrame(), expectedMicroSec);
    QCOMPARE(int(video.FrameRate()), expectedFrameRate);
}

void TestVideoCapture::indexSize_data() {
    QTest::addColumn<quint32>("size");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("0 stays 0") << quint32(0) << quint32(0);
    QTest::newRow("100 is raised") << quint32(100) << quint32(1800);
    QTest::newRow("1") << quint32(1) << quint32(1800);
    QTest::newRow("inside") << quint32(5000) << quint32(5000);
    QTest::newRow("400000 is lowered") << quint32(400000) << quint32(324000);
}

void TestVideoCapture::indexSize() {
    QFETCH(quint32, size);
    QFETCH(quint32, expected);
    TVideoCapture video(std::make_shared<ScriptedDrivers>(), tempRoot_.path());
    video.setCapIndexSize(size);
    QCOMPARE(video.CapIndexSize(), expected);
}

// ---- geometry ----------------------------------------------------------------------------

void TestVideoCapture::scaledWindow_data() {
    QTest::addColumn<bool>("scale");
    QTest::addColumn<bool>("proportional");
    QTest::addColumn<QSize>("widget");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");

    const QSize qvga(320, 240);
    QTest::newRow("unscaled: the picture's size")
        << false << false << QSize(500, 300) << qvga << QRect(0, 0, 320, 240);
    QTest::newRow("scaled: fills")
        << true << false << QSize(500, 300) << qvga << QRect(0, 0, 500, 300);
    QTest::newRow("399x300 gives 399x299")
        << true << true << QSize(399, 300) << qvga << QRect(0, 0, 399, 299);
    QTest::newRow("500x300 gives 400x300")
        << true << true << QSize(500, 300) << qvga << QRect(0, 0, 400, 300);
    QTest::newRow("tall widget, not centred")
        << true << true << QSize(300, 500) << qvga << QRect(0, 0, 300, 225);
    QTest::newRow("half a pixel rounds to even")
        << true << true << QSize(100, 1) << QSize(5, 2) << QRect(0, 0, 2, 1);
    QTest::newRow("unknown picture fills")
        << true << true << QSize(500, 300) << QSize(0, 0) << QRect(0, 0, 500, 300);
    QTest::newRow("widget without height")
        << true << true << QSize(500, 0) << qvga << QRect(0, 0, 500, 0);
}

void TestVideoCapture::scaledWindow() {
    QFETCH(bool, scale);
    QFETCH(bool, proportional);
    QFETCH(QSize, widget);
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    QCOMPARE(TVideoCapture::scaledWindow(scale, proportional, widget, picture), expected);
}

// ---- opening and closed-device answers ---------------------------------------------------

void TestVideoCapture::openWithoutDriver() {
    TVideoCapture video(std::make_shared<ScriptedDrivers>(), tempRoot_.path());
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QCOMPARE(messageOf([&] { video.setDriverOpen(true); }),
             QStringLiteral("No capture driver selected"));
    QCOMPARE(status.count(), 1);
    QVERIFY(!video.DriverOpen());
    // Switching preview on opens first, and fails the same way.
    QCOMPARE(messageOf([&] { video.setVideoPreview(true); }),
             QStringLiteral("No capture driver selected"));
    QVERIFY(!video.VideoPreview());
}

void TestVideoCapture::openDriverThatWillNotConnect_data() {
    QTest::addColumn<SourceSpec>("spec");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("reason"); // the step that failed, then FFmpeg's own text
    QTest::newRow("missing camera device")
        << missingCamera() << true
        << "Opening the input \"/dev/ostrel-no-such-camera\" failed: No such file or directory";
    QTest::newRow("filter graph that does not parse")
        << lavfiSource(QStringLiteral("nosuchfilter=1")) << true
        << "Opening the input \"nosuchfilter=1\" failed: ";
    QTest::newRow("sound only") << lavfiSource(QStringLiteral("anullsrc")) << true
                                << "Finding a video stream and its decoder failed: Stream not found";
    QTest::newRow("driver went away") << SourceSpec{} << false << "";
}

void TestVideoCapture::openDriverThatWillNotConnect() {
    QFETCH(SourceSpec, spec);
    QFETCH(bool, installed);
    QFETCH(QString, reason);
    if (installed) {
        QString why;
        QVERIFY(!CaptureSession::open(spec, &why));
        QVERIFY2(why.startsWith(reason) && !why.endsWith(QLatin1String(": ")), qPrintable(why));
    }
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Broken"), spec);
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    if (!installed) drivers->byIndex.clear();
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QCOMPARE(messageOf([&] { video.setDriverOpen(true); }),
             QStringLiteral("Can not connect capture driver with capture window"));
    QCOMPARE(status.count(), 1);
    QVERIFY(!video.DriverOpen());
    QCOMPARE(video.DriverIndex(), 0); // the index stays, to be tried again
    QVERIFY(video.captureWindowGeometry().isEmpty());
}

void TestVideoCapture::closedDeviceAnswersFalse() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("A"));
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QVERIFY(!video.GrabFrameLive());
    QVERIFY(!video.GrabFrameStill());
    QVERIFY(!video.SaveFrameFile());
    QVERIFY(!video.StartRecording());
    QVERIFY(!video.StopRecording());
    QVERIFY(!video.IsRecording());
    QVERIFY(!video.SaveRecordingAs());
    QVERIFY(!video.VideoPreview());
    QVERIFY(!video.VideoOverlay());
    QVERIFY(!QFile::exists(QDir(tempRoot_.path()).filePath(QStringLiteral("Capture.bmp"))));
    QCOMPARE(status.count(), 0);
    video.setVideoPreview(false); // already off: nothing opens
    QVERIFY(!video.DriverOpen());
}

void TestVideoCapture::overlayNeedsOverlayDriver() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Plain"));
    TVideoCapture video(drivers, tempRoot_.path());
    QCOMPARE(messageOf([&] { video.setVideoOverlay(true); }),
             QStringLiteral("Driver has no overlay mode")); // no driver at all
    video.setDriverIndex(0);
    QCOMPARE(messageOf([&] { video.setVideoOverlay(true); }),
             QStringLiteral("Driver has no overlay mode"));
    QVERIFY(!video.VideoOverlay());
    QVERIFY(!video.DriverOpen());
}

// ---- capabilities and dialogs ------------------------------------------------------------

void TestVideoCapture::capabilitiesOpenTemporarilyAndAreCached() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    auto a =
        drivers->add(0, QStringLiteral("A"), testPicture(), DriverCaps{true, true, false, true});
    TVideoCapture video(drivers, tempRoot_.path());
    QVERIFY(!video.HasOverlay()); // no driver: nothing to ask
    video.setDriverIndex(0);
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QVERIFY(video.HasOverlay());
    QVERIFY(video.HasFormatDialog());
    QVERIFY(!video.HasSourceDialog());
    QVERIFY(video.HasDisplayDialog());
    QCOMPARE(a->sourceCalls, 1); // connected once, for the first question
    QVERIFY(!video.DriverOpen());
    QCOMPARE(status.count(), 0);
}

void TestVideoCapture::capabilitiesOfDriverThatWillNotConnect() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    auto broken = drivers->add(0, QStringLiteral("Broken"), missingCamera(),
                               DriverCaps{true, true, true, true});
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    QVERIFY(!video.HasOverlay());
    QVERIFY(!video.HasFormatDialog());
    QCOMPARE(broken->sourceCalls, 2); // nothing was kept: each question tries again
    broken->spec = testPicture();     // the camera is plugged in
    QVERIFY(video.HasOverlay());
}

void TestVideoCapture::dialogs_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<int>("expectedStatus");
    QTest::addColumn<int>("expectedShown");
    // A temporary open reports its status too: one for the open, one for the confirmation.
    QTest::newRow("confirmed") << 0 << true << true << 2 << 1;
    QTest::newRow("cancelled") << 0 << false << false << 1 << 1;
    QTest::newRow("no driver selected") << -1 << true << false << 0 << 0;
}

void TestVideoCapture::dialogs() {
    QFETCH(int, index);
    QFETCH(bool, confirm);
    QFETCH(bool, expected);
    QFETCH(int, expectedStatus);
    QFETCH(int, expectedShown);
    auto drivers = std::make_shared<ScriptedDrivers>();
    auto a = drivers->add(0, QStringLiteral("A"));
    bool openWhileShown = false;
    TVideoCapture video(drivers, tempRoot_.path());
    a->formatDialog = [&](QWidget* parent) {
        openWhileShown = video.DriverOpen() && parent == &video;
        return confirm;
    };
    video.setDriverIndex(index);
    QSignalSpy status(&video, &TVideoCapture::OnStatus);
    QCOMPARE(video.ShowFormatDialog(), expected);
    QCOMPARE(status.count(), expectedStatus);
    QCOMPARE(a->formatDialogs, expectedShown);
    QCOMPARE(openWhileShown, expectedShown > 0);
    QVERIFY(!video.DriverOpen()); // closed again, as it was
    // No driver here offers these.
    QVERIFY(!video.ShowSourceDialog());
    QVERIFY(!video.ShowDisplayDialog());
    // Every driver has the compression dialog; cancelled, it answers false.
    int compressionShown = 0;
    setDriverDialogRunner([&](QDialog&) {
        ++compressionShown;
        return int(QDialog::Rejected);
    });
    QVERIFY(!video.ShowCompressionDialog());
    setDriverDialogRunner({});
    QCOMPARE(compressionShown, expectedShown);
    QVERIFY(!video.DriverOpen());
}

void TestVideoCapture::dialogOnOpenDeviceReconnects() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    auto a = drivers->add(0, QStringLiteral("A"));
    a->formatDialog = [&](QWidget*) {
        a->spec = lavfiSource(QStringLiteral("testsrc=size=160x120:rate=15"));
        return true;
    };
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    video.resize(200, 200);
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 320, 240));
    QVERIFY(video.ShowFormatDialog());
    QVERIFY(video.DriverOpen());
    QCOMPARE(video.imageWidth(), quint16(160));
    QCOMPARE(video.captureWindowGeometry(), QRect(0, 0, 160, 120));

    // A new format the driver cannot deliver leaves the device closed, with the error.
    a->formatDialog = [&](QWidget*) {
        a->spec = missingCamera();
        return true;
    };
    QCOMPARE(messageOf([&] { video.ShowFormatDialog(); }),
             QStringLiteral("Can not connect capture driver with capture window"));
    QVERIFY(!video.DriverOpen());
}

// ---- buffer file -------------------------------------------------------------------------

void TestVideoCapture::bufferFile() {
    const QDir temp(tempRoot_.path());
    const QStringList filter{QStringLiteral("cap*")};
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("A"));
    TVideoCapture video(drivers, tempRoot_.path());
    video.setDriverIndex(0);

    video.setBufferFileSize(2); // closed: only remembered
    QVERIFY(temp.entryList(filter, QDir::Files).isEmpty());

    video.setDriverOpen(true);
    QStringList files = temp.entryList(filter, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QFileInfo buffer(temp.filePath(files.first()));
    QCOMPARE(buffer.size(), qint64(2) * 1048576);

    video.setBufferFileSize(1); // open: the same file, the new size reserved
    QCOMPARE(temp.entryList(filter, QDir::Files), files);

    video.setBufferFileSize(0); // gone, and forgotten
    QVERIFY(temp.entryList(filter, QDir::Files).isEmpty());

    video.setBufferFileSize(1);
    QCOMPARE(temp.entryList(filter, QDir::Files).size(), 1);
    video.setDriverOpen(false); // closing releases it
    QVERIFY(temp.entryList(filter, QDir::Files).isEmpty());
}

QTEST_MAIN(TestVideoCapture)
#include "tst_videocapture.moc"
