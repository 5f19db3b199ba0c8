// The main window's start-up and close sequences in a temporary program folder, the
// capture events it wires, and its hints.
#include "TestDrivers.h"
#include "app/mainf.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_DlgDriver.h"
#include "ui_mainf.h"
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;
using test::Drivers;
using test::LavfiDriver;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeIni(const QString& path, const QByteArray& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// Answers the driver dialog by choosing `line` (-1: Cancel).
struct DriverChoice {
    int line;
    int asked = 0;
    QStringList offered;
    int preselected = -2;
    DriverChoice(int l) : line(l) {
        setCaptureDriverDialogRunner([this](TDlgCapDriver& dialog) {
            ++asked;
            auto* combo = dialog.ui()->ComboBox1;
            for (int i = 0; i < combo->count(); ++i) offered << combo->itemText(i);
            preselected = combo->currentIndex();
            if (line < 0) return int(QDialog::Rejected);
            combo->setCurrentIndex(line);
            return int(QDialog::Accepted);
        });
    }
    ~DriverChoice() { setCaptureDriverDialogRunner({}); }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void firstStartInAnEmptyFolder() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        ScriptedDesktop desk;
        DriverChoice choice(1);
        {
            TMain main(folder, test::twoDrivers());
            main.createWindows();

            for (const char* sub : {"Snapshots", "Videos", "Downloaded Images"})
                QVERIFY2(QFileInfo(folder + sub).isDir(), sub);
            QCOMPARE(readAll(folder + "Capture.bmp").left(2), QByteArray("BM"));
            QCOMPARE(readAll(folder + "Error.log"), QByteArray("\r\n"));
            QVERIFY(!QFile::exists(folder + "Ostrel.sif"));

            QCOMPARE(desk.shownTexts(),
                     QStringList{"Could not activate video input device. Select a capture "
                                 "driver first."});
            QCOMPARE(desk.shown.first().kind, MsgKind::Warning);
            QCOMPARE(desk.beeps, 1);
            QCOMPARE(choice.asked, 1);
            QCOMPARE(choice.offered, QStringList({"Test Camera A 1.0", "Test Camera B 1.0"}));
            QCOMPARE(choice.preselected, -1);

            auto* video = main.VideoCap1();
            QCOMPARE(video->DriverIndex(), 1);
            QVERIFY(video->DriverOpen());
            QVERIFY(main.ui()->CheckPrev->isChecked());
            QVERIFY(main.ui()->CheckProportional->isChecked());
            QVERIFY(main.ui()->CheckFitWindow->isChecked());
            QVERIFY(video->VideoPreview());
            QVERIFY(main.startedWithVideo());

            // Designed defaults, not the key defaults, without a settings file.
            QCOMPARE(main.ui()->EditInterval->text(), QString("3"));
            QCOMPARE(main.FtpClient()->Port(), QString("ftp"));
            QCOMPARE(main.SmtpClient()->Port(), QString("smtp"));
            QCOMPARE(main.FtpClient()->Passive(), false);
            QCOMPARE(main.Camera, QString());
            QCOMPARE(main.windowTitle(), QString("Ostrel - Remote Surveillance"));
            QCOMPARE(main.ui()->EditCapPicture->text(), QString("Snapshot.bmp"));
            QCOMPARE(main.ui()->EditVideoFile->text(), QString("Video.avi"));

            QFile::copy(folder + "Capture.bmp", folder + "temp00.bmp");
            QFile(folder + "Capture.jpg").open(QIODevice::WriteOnly);
            main.close();
            QVERIFY(!QFile::exists(folder + "temp00.bmp"));
            QVERIFY(!QFile::exists(folder + "Capture.jpg"));
            QVERIFY(QFile::exists(folder + "Capture.bmp"));
        }
        IniFile ini(folder + "Ostrel.sif");
        QCOMPARE(ini.readString("Motion Detection", "Treshold", "x"), QString("0"));
        QCOMPARE(ini.readString("Motion Detection", "Sensitivity", "x"), QString("100"));
        QCOMPARE(ini.readString("Motion Detection", "Interval", "x"), QString("1"));
        QCOMPARE(ini.readString("Motion Detection", "Delay_Sound", "x"), QString("1"));
        QCOMPARE(ini.readString("Motion Detection", "Remote_Save", "x"), QString("0"));
        QCOMPARE(ini.readString("FTP Settings", "Update_Interval", "x"), QString("3"));
        QCOMPARE(ini.readString("Other Settings", "LogErrors", "x"), QString("1"));
        QCOMPARE(ini.readString("Other Settings", "FirstRun", "x"), QString("1"));
        QVERIFY(ini.valueExists("Email Settings", "SMTP_Password"));
        // Only the close keys: the dialogs' keys are not invented.
        QVERIFY(!ini.valueExists("FTP Settings", "FTP_Host"));
        QCOMPARE(QFile(folder + "Ostrel.sif").permissions() &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QCOMPARE(IniFile(folder + "vcap.sif").readInteger("Driver", "index", -5), 1);

        // The next start finds its driver: no warning, no dialog, live at once.
        desk.shown.clear();
        TMain again(folder, test::twoDrivers());
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(choice.asked, 1);
        QVERIFY(again.VideoCap1()->DriverOpen());
        QCOMPARE(again.VideoCap1()->DriverIndex(), 1);
    }

    void unknownDriverIndexAndCancelRunsWithoutVideo() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=7\r\n");
        writeIni(folder + "Ostrel.sif", "[Motion Detection]\r\nTreshold=12\r\n"
                                        "[FTP Settings]\r\nUpdate_Interval=9\r\n");
        ScriptedDesktop desk;
        DriverChoice choice(-1);
        {
            TMain main(folder, test::twoDrivers());
            QCOMPARE(choice.asked, 1);
            QCOMPARE(desk.shownTexts(),
                     QStringList({"Could not activate video input device. Select a capture "
                                  "driver first.",
                                  "No capture driver selected"}));
            QCOMPARE(main.VideoCap1()->DriverIndex(), -1);
            QVERIFY(!main.VideoCap1()->DriverOpen());
            QVERIFY(!main.startedWithVideo());
            // Settings are still loaded, so the close writes them back, not the defaults.
            QCOMPARE(main.ui()->ScrollBarTreshold->value(), 12);
            QCOMPARE(main.ui()->lblTreshold->text(), QString("12%"));
            QCOMPARE(main.ui()->EditInterval->text(), QString("9"));
            QVERIFY(!main.ui()->CheckPrev->isChecked());
            QVERIFY(!main.ui()->CheckPrev->isEnabled());
            QVERIFY(!main.ui()->menuVideoCompression1->isEnabled());
            main.close();
        }
        QCOMPARE(IniFile(folder + "Ostrel.sif").readInteger("Motion Detection", "Treshold", -1), 12);
        QCOMPARE(IniFile(folder + "vcap.sif").readInteger("Driver", "index", -5), -1);
    }

    void driverThatWillNotConnect() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        auto drivers = std::make_shared<Drivers>();
        drivers->byIndex[0] = std::make_shared<LavfiDriver>("Broken Camera", false);
        ScriptedDesktop desk;
        TMain main(folder, drivers);
        QCOMPARE(desk.shownTexts(),
                 QStringList{"Can not connect capture driver with capture window"});
        QVERIFY(!main.VideoCap1()->DriverOpen());
        // The index stays, so the same driver is tried at the next start.
        QCOMPARE(main.VideoCap1()->DriverIndex(), 0);
        QVERIFY(!main.startedWithVideo());
    }

    void settingsReachTheControls() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        writeIni(folder + "Ostrel.sif",
                 "[motion detection]\r\nTreshold=20\r\nSensitivity=0x5A\r\nInterval=4\r\n"
                 "Start_Delay=3\r\nDelay_Sound=0\r\nDetection_Sound=1\r\nRemote_Save=1\r\n"
                 "[Capture Parameters]\r\nFrameRate=60\r\nIndex_Size=100\r\n"
                 "Capture_Time=99999\r\nBuffer_Size=-4\r\n"
                 "[FTP Settings]\r\nFTP_Host=ftp.example.org\r\nFTP_Timeout=30\r\n"
                 "Passive_Mode=0\r\nPassword=secret\r\n"
                 "[Other Settings]\r\nLogErrors=0\r\nErrorBeep=1\r\nCamera=Shop\r\n"
                 "[Protocol Settings]\r\nEmailOnly=1\r\nFTPupload=1\r\n");
        ScriptedDesktop desk;
        TMain main(folder, test::twoDrivers());
        auto* ui = main.ui();
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(ui->ScrollBarTreshold->value(), 20);
        QCOMPARE(ui->ScrollBarSensitivity->value(), 90);
        QCOMPARE(ui->lblSensitivity->text(), QString("90%"));
        QCOMPARE(ui->edDetectInterval->text(), QString("4"));
        QCOMPARE(ui->edDelay->text(), QString("3"));
        QVERIFY(!ui->CheckBoxSound->isChecked());
        QVERIFY(ui->CheckBoxDetectionSound->isChecked());
        QVERIFY(ui->rbRemoteSave->isChecked());
        QCOMPARE(main.VideoCap1()->FrameRate(), quint16(60));
        QCOMPARE(main.VideoCap1()->MicroSecPerFrame(), quint32(16667));
        QCOMPARE(main.VideoCap1()->CapIndexSize(), quint32(1800));
        QCOMPARE(main.VideoCap1()->CapTimeLimit(), quint16(65535));
        QCOMPARE(main.VideoCap1()->BufferFileSize(), quint16(0));
        QCOMPARE(main.FtpClient()->HostName(), QString("ftp.example.org"));
        QCOMPARE(main.FtpClient()->Timeout(), 30);
        QCOMPARE(main.FtpClient()->Port(), QString("21"));
        QCOMPARE(main.FtpClient()->PassWord(), QString("secret"));
        QCOMPARE(main.FtpPassword, QString("secret"));
        QVERIFY(!ui->menuLogErrors->isChecked());
        QVERIFY(!main.errorLog().logErrors());
        QVERIFY(main.errorLog().beepOnErrors());
        QCOMPARE(main.Camera, QString("Shop"));
        // E-mail only: the website update and remote host management are unavailable.
        QVERIFY(main.EmailOnly);
        QVERIFY(!ui->GroupBox3->isEnabled());
        QVERIFY(!ui->BitBtnFrameCap->isEnabled());
        QVERIFY(!ui->btnWebMgt->isEnabled());
        QVERIFY(!ui->menuRemoteMgt->isEnabled());
        QCOMPARE(ui->GroupBox3->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    }

    void logErrorsOffKeepsTheFileAtClose() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        writeIni(folder + "Error.log", "old line\r\n");
        ScriptedDesktop desk;
        {
            TMain main(folder, test::twoDrivers());
            QCOMPARE(main.errorLog().lines(), QStringList{"old line"});
            main.ui()->menuLogErrors->trigger(); // unchecked
            main.errorLog().add(" :   not logged");
            QCOMPARE(main.errorLog().lines().size(), 1);
            main.close();
        }
        QCOMPARE(readAll(folder + "Error.log"), QByteArray("old line\r\n"));
        QCOMPARE(IniFile(folder + "Ostrel.sif").readString("Other Settings", "LogErrors", "x"),
                 QString("0"));
    }

    void unwritableSettingsStillSaveTheLog() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        {
            TMain main(folder, test::twoDrivers());
            QVERIFY(QDir(folder).mkdir("Ostrel.sif")); // a folder cannot be replaced by a file
            main.errorLog().add(" :   kept", false);
            main.close();
            QCOMPARE(desk.shownTexts().size(), 1);
            QVERIFY(desk.shownTexts().first().startsWith("Unable to write to "));
        }
        QVERIFY(readAll(folder + "Error.log").contains(" :   kept\r\n"));
    }

    void deviceLostClosesTheDeviceAndWarns() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(folder, test::twoDrivers());
        QVERIFY(main.VideoCap1()->DriverOpen());
        emit main.VideoCap1()->OnError(1, "Capture device was not detected.");
        QCOMPARE(desk.beeps, 1);
        QCOMPARE(desk.shownTexts(),
                 QStringList{"Capture device was not detected. Connect camera before running "
                             "this program."});
        QVERIFY(!main.VideoCap1()->DriverOpen());
        QCOMPARE(main.VideoCap1()->DriverIndex(), -1);
        QCOMPARE(main.statusPanel(1)->text(), QString("Capture device was not detected."));
        QVERIFY(readAll(folder + "Error.log")
                    .contains(" :   Video error = Capture device was not detected.\r\n"));

        // Other errors are shown and logged but keep the device.
        emit main.VideoCap1()->OnError(2, QString());
        QCOMPARE(main.statusPanel(1)->text(), QString());
        QCOMPARE(main.errorLog().lines().size(), 2); // the empty first line and the error

        // A later driver choice works again.
        DriverChoice choice(0);
        main.ui()->menuVideoDriver1->trigger();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QCOMPARE(main.VideoCap1()->DriverIndex(), 0);
    }

    void statusCallbackTextsAndRecordingCaptions() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(folder, test::twoDrivers());
        auto* video = main.VideoCap1();
        emit video->OnStatusCallback(1, "Live window 320x240");
        QCOMPARE(main.statusPanel(1)->text(), QString("Preview window 320x240"));
        emit video->OnStatusCallback(510, "frame");
        QCOMPARE(main.statusPanel(1)->text(), QString("Preview window 320x240"));
        emit video->OnStatusCallback(300, "Capture begins");
        QCOMPARE(main.ui()->BtStartStop->text(), QString("Stop Video"));
        QCOMPARE(main.ui()->menuVideo->text(), QString("Stop Video Recording"));
        emit video->OnStatusCallback(301, "Capture ends");
        QCOMPARE(main.ui()->BtStartStop->text(), QString("Start Video"));
        QCOMPARE(main.ui()->menuVideo->text(), QString("Start Video Recording"));
    }

    void rateField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("shown");
        QTest::newRow("45") << "45" << 15 << "45";
        QTest::newRow("0") << "0" << 15 << "0";
        QTest::newRow("30") << "30" << 30 << "30";
        QTest::newRow("1") << "1" << 1 << "1";
        QTest::newRow("emptied") << "" << 15 << "15";
    }
    void rateField() {
        QFETCH(QString, typed);
        QFETCH(int, rate);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        writeIni(dir.filePath("vcap.sif"), "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(dir.path(), test::twoDrivers());
        main.ui()->Edit1->setText("7");
        main.ui()->Edit1->setText(typed);
        QCOMPARE(int(main.VideoCap1()->PreviewRate()), rate);
        QCOMPARE(main.ui()->Edit1->text(), shown);
        QVERIFY(desk.shown.isEmpty());
    }

    void rateFieldRefusesLettersAndPastedText() {
        QTemporaryDir dir;
        writeIni(dir.filePath("vcap.sif"), "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(dir.path(), test::twoDrivers());
        main.show();
        auto* edit = main.ui()->Edit1;
        edit->setText("1");
        edit->setFocus();
        edit->setCursorPosition(1);
        QTest::keyClicks(edit, "2x");
        QCOMPARE(edit->text(), QString("12"));
        QCOMPARE(desk.shownTexts(), QStringList{"Invalid entry: x"});
        QCOMPARE(desk.beeps, 1);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("1"));
        QCOMPARE(desk.shown.size(), 1);

        // Pasted text is not a number: the error is shown and the rate stays.
        edit->setText("12");
        edit->setText("1a");
        QCOMPARE(int(main.VideoCap1()->PreviewRate()), 12);
        QCOMPARE(desk.shown.size(), 2);
        QCOMPARE(desk.shown.last().kind, MsgKind::Error);
    }

    void hintsFollowTheMouse() {
        QTemporaryDir dir;
        writeIni(dir.filePath("vcap.sif"), "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(dir.path(), test::twoDrivers());
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* ui = main.ui();
        QTest::mouseMove(ui->BitBtnMotion);
        QCOMPARE(main.statusPanel(0)->text(),
                 QString("Click to start Motion Detection and Recording."));
        QTest::mouseMove(ui->Edit1);
        QCOMPARE(main.statusPanel(0)->text(), QString("Frame Rate for manual video recording."));
        // A check box passes its mouse moves on to its group; the box's hint must stay.
        QTest::mouseMove(ui->CheckPrev);
        QCOMPARE(main.statusPanel(0)->text(),
                 QString("Check to use Preview video mode (use Overlay if available)."));
        QTest::mouseMove(ui->GroupBox4, QPoint(2, ui->GroupBox4->height() - 3));
        QCOMPARE(main.statusPanel(0)->text(), QString());
        QTest::mouseMove(ui->ListBox1);
        QCOMPARE(main.statusPanel(0)->text(),
                 QString("Latest Motion Detection images. Double click to view."));
        QTest::mouseMove(main.VideoCap1());
        QCOMPARE(main.statusPanel(0)->text(), QString());
    }

    void menusAndErrorLogWindow() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        writeIni(folder + "vcap.sif", "[Driver]\r\nindex=0\r\n");
        ScriptedDesktop desk;
        TMain main(folder, test::twoDrivers());
        main.createWindows();
        auto* ui = main.ui();
        // Captions a screen reader announces.
        QCOMPARE(ui->menuViewErrorLog->text(), QString("&View Error Log..."));
        QCOMPARE(ui->menuVideoDriver1->text(), QString("&Capture Driver..."));
        QCOMPARE(ui->menuHelpContents->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(!ui->menuErrorBeep->isChecked());
        QVERIFY(ui->menuLogErrors->isChecked());
        ui->menuErrorBeep->trigger();
        QVERIFY(main.errorLog().beepOnErrors());

        // View Error Log reloads the file: lines not yet written are dropped.
        main.errorLog().add(" :   in memory only", false);
        writeIni(folder + "Error.log", "from disk\r\n");
        ui->menuViewErrorLog->trigger();
        QCOMPARE(main.errorLog().lines(), QStringList{"from disk"});
        QVERIFY(main.logForm()->isVisible());

        ui->menuHelpContents->trigger();
        ui->menuHelpIndex->trigger();
        QCOMPARE(desk.helpRequests.size(), 2);
        QCOMPARE(desk.helpRequests[0].first, HelpCommand::Contents);
        QCOMPARE(desk.helpRequests[1].first, HelpCommand::Index);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
