// The cameras as the main window uses them: the overlay with a driver that claims one, and
// the Settings menu's driver dialogs following the driver, in a temporary program folder.
#include "../common/FreshFolder.h"
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "app/mainf.h"
#include "capture/VideoCapture.h"
#include "platform/ScriptedDesktop.h"
#include "ui_mainf.h"

#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestCameraMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void init() { QVERIFY(folder_.renew()); }

    void overlay() {
        startWithDriver(0);
        ScriptedDesktop desk;
        auto drivers = std::make_shared<ScriptedDrivers>();
        drivers->add(0, QStringLiteral("Overlay Camera"), testPicture(),
                     DriverCaps{true, false, false, false});
        TMain main(folder_.path, drivers);
        auto* video = main.VideoCap1();
        auto* ui = main.ui();
        // Ticked at start-up.
        QVERIFY(ui->CheckOverl->isEnabled());
        QVERIFY(ui->CheckOverl->isChecked());
        QVERIFY(!ui->CheckPrev->isChecked());
        QVERIFY(video->VideoOverlay());

        // One or the other, on the device (grabsAndOverlay) and in the boxes.
        ui->CheckPrev->setChecked(true);
        QVERIFY(video->VideoPreview());
        QVERIFY(!ui->CheckOverl->isChecked());
        ui->CheckOverl->setChecked(true);
        QVERIFY(video->VideoOverlay());
        QVERIFY(!ui->CheckPrev->isChecked());
        QVERIFY(desk.shown.isEmpty());
    }

    void videoMenusFollowTheDriver_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("format");
        QTest::newRow("virtual camera") << 0 << false;
        QTest::newRow("V4L2 camera") << 1 << true;
    }

    void videoMenusFollowTheDriver() {
        QFETCH(int, index);
        QFETCH(bool, format);
        startWithDriver(index);
        ScriptedDesktop desk;
        auto v4l2 = std::make_shared<ScriptedV4l2>();
        v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"))->formats = webcamFormats();
        TMain main(folder_.path, systemDrivers(folder_.path, v4l2));
        auto* ui = main.ui();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QCOMPARE(ui->menuVideoFormat->isEnabled(), format);
        QVERIFY(ui->menuVideoSource->isEnabled());
        QVERIFY(ui->menuVideoCompression1->isEnabled());
        QVERIFY(!ui->menuVideoDisplay->isEnabled());
        QVERIFY(!ui->CheckOverl->isEnabled());
        QVERIFY(desk.shown.isEmpty());
    }

private:
    // vcap.sif choosing the driver at `index`.
    void startWithDriver(int index) {
        QVERIFY(writeRepeated(folder_.path + "vcap.sif",
                              QStringLiteral("[Driver]\r\nindex=%1\r\n").arg(index).toLatin1(), 1));
    }
    FreshFolder folder_;
};

QTEST_MAIN(TestCameraMain)
#include "tst_cameramain.moc"
