// The cameras as the main window uses them: the overlay with a driver that claims one,
// the Settings menu's driver dialogs following the driver, and the virtual camera's
// source chosen from the menu, in a temporary program folder.
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "StandInSources.h"
#include "app/mainf.h"
#include "capture/DlgVirtualSource.h"
#include "capture/VideoCapture.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgVirtualSource.h"
#include "ui_mainf.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestCameraMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        folder_ = dir_->path() + QLatin1Char('/');
    }

    void overlay() {
        startWithDriver(0);
        ScriptedDesktop desk;
        auto drivers = std::make_shared<ScriptedDrivers>();
        drivers->add(0, QStringLiteral("Overlay Camera"), testPicture(),
                     DriverCaps{true, false, false, false});
        TMain main(folder_, drivers);
        auto* video = main.VideoCap1();
        auto* ui = main.ui();
        // Ticked at start-up.
        QVERIFY(ui->CheckOverl->isEnabled());
        QVERIFY(ui->CheckOverl->isChecked());
        QVERIFY(!ui->CheckPrev->isChecked());
        QVERIFY(video->VideoOverlay());

        ui->CheckPrev->setChecked(true); // one or the other
        QVERIFY(video->VideoPreview());
        QVERIFY(!video->VideoOverlay());
        QVERIFY(!ui->CheckOverl->isChecked());
        ui->CheckOverl->setChecked(true);
        QVERIFY(video->VideoOverlay());
        QVERIFY(!video->VideoPreview());
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
        TMain main(folder_, systemDrivers(folder_, v4l2));
        auto* ui = main.ui();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QCOMPARE(ui->menuVideoFormat->isEnabled(), format);
        QVERIFY(ui->menuVideoSource->isEnabled());
        QVERIFY(ui->menuVideoCompression1->isEnabled());
        QVERIFY(!ui->menuVideoDisplay->isEnabled());
        QVERIFY(!ui->CheckOverl->isEnabled());
        QVERIFY(desk.shown.isEmpty());
    }

    void videoSourceChosenFromTheMenu() {
        startWithDriver(0);
        const QString clip = folder_ + "clip.mjpeg";
        QVERIFY(writeRepeated(clip, jpegFrame(QSize(160, 120)), 10));
        ScriptedDesktop desk;
        desk.fileAnswers << clip;
        TMain main(folder_, systemDrivers(folder_, std::make_shared<ScriptedV4l2>()));
        DialogScript script([](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgVirtualSource&>(d);
            dialog.ui()->rbFile->click();
            dialog.ui()->btnBrowse->click();
            dialog.ui()->OKBtn->click();
            return dialog.result();
        });
        main.ui()->menuVideoSource->trigger();
        // Playing the file now, the live picture still on.
        QCOMPARE(main.VideoCap1()->imageWidth(), quint16(160));
        QVERIFY(main.VideoCap1()->VideoPreview());
        QVERIFY(desk.shown.isEmpty());
    }

private:
    // vcap.sif choosing the driver at `index`.
    void startWithDriver(int index) {
        QVERIFY(writeRepeated(folder_ + "vcap.sif",
                              QStringLiteral("[Driver]\r\nindex=%1\r\n").arg(index).toLatin1(), 1));
    }
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

QTEST_MAIN(TestCameraMain)
#include "tst_cameramain.moc"
