// The cameras as the main window uses them: the overlay paths with a driver that claims an
// overlay, a V4L2 camera that goes away while open, and the Settings menu's driver
// dialogs, in a temporary program folder.
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "StandInSources.h"
#include "app/mainf.h"
#include "capture/DlgDriver.h"
#include "capture/DlgVirtualSource.h"
#include "capture/DriverDialogs.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgDriver.h"
#include "ui_DlgVirtualSource.h"
#include "ui_mainf.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

std::shared_ptr<ScriptedDrivers> overlayDriver() {
    auto drivers = std::make_shared<ScriptedDrivers>();
    drivers->add(0, QStringLiteral("Overlay Camera"), testPicture(),
                 DriverCaps{true, false, false, false});
    return drivers;
}

// A V4L2 camera at driver 1 whose frames come from `spec`.
std::shared_ptr<ScriptedV4l2> standInCamera(std::function<SourceSpec()> spec) {
    auto v4l2 = std::make_shared<ScriptedV4l2>();
    v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"))->formats = webcamFormats();
    v4l2->streamFor = [spec](const QString&, const QMap<QString, QString>&) { return spec(); };
    return v4l2;
}

} // namespace

class TestCameraMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }
    void init();

    void overlayTickedAtStartUp();
    void overlaySwitchedOnGrabsStillFirst();
    void cameraGoneWhileOpen();
    void videoMenusFollowTheDriver_data();
    void videoMenusFollowTheDriver();
    void videoSourceChoiceSurvivesRestart();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

void TestCameraMain::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + QLatin1Char('/');
}

void TestCameraMain::overlayTickedAtStartUp() {
    writeFile(folder_ + "vcap.sif", "[Driver]\r\nindex=0\r\n");
    ScriptedDesktop desk;
    TMain main(folder_, overlayDriver());
    auto* video = main.VideoCap1();
    QVERIFY(main.ui()->CheckOverl->isEnabled());
    QVERIFY(main.ui()->CheckOverl->isChecked());
    QVERIFY(!main.ui()->CheckPrev->isChecked());
    QVERIFY(video->VideoOverlay());
    QVERIFY(!video->lastGrabbedFrame().isNull()); // the still grab before the overlay
    QSignalSpy shown(video, &TVideoCapture::frameShown);
    QVERIFY(shown.wait(3000));
    QVERIFY(desk.shown.isEmpty());
}

void TestCameraMain::overlaySwitchedOnGrabsStillFirst() {
    writeFile(folder_ + "vcap.sif", "[Driver]\r\nindex=0\r\n");
    ScriptedDesktop desk;
    TMain main(folder_, overlayDriver());
    auto* video = main.VideoCap1();
    main.ui()->CheckPrev->setChecked(true); // one or the other
    QVERIFY(video->VideoPreview());
    QVERIFY(!video->VideoOverlay());
    QVERIFY(!main.ui()->CheckOverl->isChecked());
    // Live frames newer than the still grabbed at start-up.
    const qint64 before = video->lastGrabbedFrame().cacheKey();
    QTRY_VERIFY_WITH_TIMEOUT(video->displayedFrame().cacheKey() != before, 3000);

    main.ui()->CheckOverl->setChecked(true);
    QVERIFY(video->VideoOverlay());
    QVERIFY(!video->VideoPreview());
    QVERIFY(!main.ui()->CheckPrev->isChecked());
    QVERIFY(video->lastGrabbedFrame().cacheKey() != before);
    QVERIFY(desk.shown.isEmpty());
}

void TestCameraMain::cameraGoneWhileOpen() {
    const QString frames = folder_ + "frames.mjpeg";
    QVERIFY(writeRepeated(frames, jpegFrame(QSize(160, 120)), 10));
    auto v4l2 = standInCamera([frames] {
        SourceSpec s;
        s.inputFormat = QStringLiteral("mjpeg");
        s.url = frames;
        s.options = {{QStringLiteral("framerate"), QStringLiteral("30")}};
        return s;
    });
    writeFile(folder_ + "vcap.sif", "[Driver]\r\nindex=1\r\n");
    ScriptedDesktop desk;
    TMain main(folder_, systemDrivers(folder_, v4l2));
    auto* video = main.VideoCap1();
    QCOMPARE(video->DriverName(), QStringLiteral("HD Webcam"));
    QVERIFY(main.startedWithVideo());

    const QString warning = QStringLiteral(
        "Capture device was not detected. Connect camera before running this program.");
    QTRY_VERIFY_WITH_TIMEOUT(desk.shownTexts().contains(warning), 5000);
    QCOMPARE(desk.shownTexts(), QStringList{warning});
    QCOMPARE(desk.beeps, 1);
    QVERIFY(!video->DriverOpen());
    QCOMPARE(video->DriverIndex(), -1);
    QCOMPARE(main.statusPanel(1)->text(), QStringLiteral("Capture device was not detected."));

    // Runs on without live video; a later driver choice works.
    setCaptureDriverDialogRunner([](TDlgCapDriver& dialog) {
        dialog.ui()->ComboBox1->setCurrentIndex(0);
        return int(QDialog::Accepted);
    });
    main.ui()->menuVideoDriver1->trigger();
    setCaptureDriverDialogRunner({});
    QVERIFY(video->DriverOpen());
    QCOMPARE(video->DriverIndex(), 0);
    QVERIFY(video->GrabFrameLive());
    QCOMPARE(desk.shownTexts().size(), 1);
}

void TestCameraMain::videoMenusFollowTheDriver_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("source");
    QTest::addColumn<bool>("format");
    QTest::newRow("virtual camera") << 0 << true << false;
    QTest::newRow("V4L2 camera") << 1 << true << true;
}

void TestCameraMain::videoMenusFollowTheDriver() {
    QFETCH(int, index);
    QFETCH(bool, source);
    QFETCH(bool, format);
    writeFile(folder_ + "vcap.sif",
              QStringLiteral("[Driver]\r\nindex=%1\r\n").arg(index).toLatin1());
    ScriptedDesktop desk;
    TMain main(folder_,
               systemDrivers(folder_, standInCamera([] {
                                 return lavfiSource(QStringLiteral("testsrc=size=320x240:rate=15"));
                             })));
    QVERIFY(main.VideoCap1()->DriverOpen());
    QCOMPARE(main.ui()->menuVideoSource->isEnabled(), source);
    QCOMPARE(main.ui()->menuVideoFormat->isEnabled(), format);
    QVERIFY(!main.ui()->menuVideoDisplay->isEnabled());
    QVERIFY(main.ui()->menuVideoCompression1->isEnabled());
    QVERIFY(!main.ui()->CheckOverl->isEnabled());
    QVERIFY(desk.shown.isEmpty());
}

void TestCameraMain::videoSourceChoiceSurvivesRestart() {
    writeFile(folder_ + "vcap.sif", "[Driver]\r\nindex=0\r\n");
    const QString clip = folder_ + "clip.mjpeg";
    QVERIFY(writeRepeated(clip, jpegFrame(QSize(160, 120)), 10));
    ScriptedDesktop desk;
    desk.fileAnswers << clip;
    {
        TMain main(folder_, systemDrivers(folder_, std::make_shared<ScriptedV4l2>()));
        setDriverDialogRunner([](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVirtualSource&>(d);
            dialog.ui()->seMotionInterval->setValue(9);
            dialog.ui()->rbFile->click();
            dialog.ui()->btnBrowse->click();
            dialog.ui()->OKBtn->click();
            return dialog.result();
        });
        main.ui()->menuVideoSource->trigger();
        setDriverDialogRunner({});
        QCOMPARE(main.VideoCap1()->imageWidth(), quint16(160)); // playing the file now
        QVERIFY(main.VideoCap1()->VideoPreview());
        main.close();
    }
    QCOMPARE(IniFile(folder_ + "vcap.sif").readString("Virtual Camera", "Source", ""),
             QStringLiteral("clip.mjpeg"));
    QCOMPARE(IniFile(folder_ + "vcap.sif").readInteger("Virtual Camera", "Motion_Interval", 0), 9);
    TMain again(folder_, systemDrivers(folder_, std::make_shared<ScriptedV4l2>()));
    QVERIFY(again.VideoCap1()->DriverOpen());
    QCOMPARE(again.VideoCap1()->imageWidth(), quint16(160));
    QVERIFY(desk.shown.isEmpty());
}

QTEST_MAIN(TestCameraMain)
#include "tst_cameramain.moc"
