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

    void videoMenusFollowTheDriver_data() {
        QTest::addColumn<int>("index"); // -1: a driver with an overlay alone
        QTest::newRow("virtual camera") << 0;
        QTest::newRow("V4L2 camera") << 1;
        QTest::newRow("overlay camera") << -1;
    }

    void videoMenusFollowTheDriver() {
        QFETCH(int, index);
        FreshFolder folder;
        QVERIFY(folder.renew());
        QVERIFY(writeRepeated(
            folder.path + "vcap.sif",
            QStringLiteral("[Driver]\r\nindex=%1\r\n").arg(qMax(index, 0)).toLatin1(), 1));
        ScriptedDesktop desk;
        auto v4l2 = std::make_shared<ScriptedV4l2>();
        v4l2->add(QStringLiteral("HD Webcam"), QStringLiteral("usb-1"))->formats = webcamFormats();
        auto overlay = std::make_shared<ScriptedDrivers>();
        overlay->add(0, QStringLiteral("Overlay Camera"), testPicture(),
                     DriverCaps{true, false, false, false});
        TMain main(folder.path, index < 0 ? std::shared_ptr<DriverRegistry>(overlay)
                                          : systemDrivers(folder.path, v4l2));
        auto* ui = main.ui();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QCOMPARE(ui->menuVideoFormat->isEnabled(), index == 1);
        QCOMPARE(ui->menuVideoSource->isEnabled(), index >= 0);
        QVERIFY(ui->menuVideoCompression1->isEnabled());
        QVERIFY(!ui->menuVideoDisplay->isEnabled());
        QCOMPARE(ui->CheckOverl->isEnabled(), index < 0);
        if (index < 0) {
            // Ticked at start-up; one box or the other.
            QVERIFY(ui->CheckOverl->isChecked());
            QVERIFY(!ui->CheckPrev->isChecked());
            QVERIFY(main.VideoCap1()->VideoOverlay());
            ui->CheckPrev->setChecked(true);
            QVERIFY(main.VideoCap1()->VideoPreview());
            QVERIFY(!ui->CheckOverl->isChecked());
            ui->CheckOverl->setChecked(true);
            QVERIFY(main.VideoCap1()->VideoOverlay());
            QVERIFY(!ui->CheckPrev->isChecked());
        }
        QVERIFY(desk.shown.isEmpty());
    }
};

QTEST_MAIN(TestCameraMain)
#include "tst_cameramain.moc"
