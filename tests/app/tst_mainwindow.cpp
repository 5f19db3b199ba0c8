// The main window's start-up and close sequences in a temporary program folder, the
// capture events it wires, its number fields and its hints.
#include "MainFixture.h"
#include "app/MainHints.h"
#include "app/MotionController.h"
#include "app/Settings.h"
#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "net/FtpClient.h"
#include "ui_DlgDriver.h"
#include <QLabel>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString SelectDriver =
    QStringLiteral("Could not activate video input device. Select a capture driver first.");

// A lavfi test picture, or a device that is never there.
class TestDriver : public CaptureDriver {
public:
    TestDriver(QString name, bool connects) : name_(std::move(name)), connects_(connects) {}
    DriverDescription description() const override { return {name_, QStringLiteral("1.0")}; }
    DriverCaps caps() const override { return {}; }
    SourceSpec source() const override {
        SourceSpec s;
        s.inputFormat = connects_ ? QStringLiteral("lavfi") : QStringLiteral("video4linux2");
        s.url = connects_ ? QStringLiteral("testsrc=size=320x240:rate=15")
                          : QStringLiteral("/dev/ostrel-no-such-camera");
        return s;
    }

private:
    QString name_;
    bool connects_;
};

struct Drivers : DriverRegistry {
    QList<std::shared_ptr<CaptureDriver>> list;
    std::shared_ptr<CaptureDriver> driver(int index) override { return list.value(index); }
};
std::shared_ptr<Drivers> drivers(bool connects = true) {
    auto d = std::make_shared<Drivers>();
    d->list << std::make_shared<TestDriver>("Test Camera A", connects);
    if (connects) d->list << std::make_shared<TestDriver>("Test Camera B", true);
    return d;
}

// Answers the driver dialog by choosing `line` (-1: Cancel).
struct DriverChoice {
    int line, asked = 0, preselected = -2;
    QStringList offered;
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

// A folder whose vcap.sif chooses the first test driver, opened.
struct Ready : Program {
    explicit Ready(const QByteArray& settings = {}, bool windows = false) {
        write("vcap.sif", "[Driver]\r\nindex=0\r\n");
        if (!settings.isEmpty()) write("Ostrel.sif", settings);
        open(drivers(), windows);
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void firstStartInAnEmptyFolder() {
        Program p;
        DriverChoice choice(1);
        TMain& main = p.open(drivers());
        for (const char* sub : {"Snapshots", "Videos", "Downloaded Images"})
            QVERIFY2(QFileInfo(p.path + sub).isDir(), sub);
        QCOMPARE(p.read("Capture.bmp").left(2), QByteArray("BM"));
        QCOMPARE(p.read("Error.log"), QByteArray("\r\n"));
        QVERIFY(!QFile::exists(p.path + "Ostrel.sif"));
        QCOMPARE(p.desk.shownTexts(), QStringList{SelectDriver});
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Warning);
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(choice.offered, QStringList({"Test Camera A 1.0", "Test Camera B 1.0"}));
        QCOMPARE(choice.preselected, -1);
        QCOMPARE(main.VideoCap1()->DriverIndex(), 1);
        QVERIFY(main.VideoCap1()->DriverOpen() && main.VideoCap1()->VideoPreview());
        QVERIFY(main.startedWithVideo());

        // The close removes the temporary pictures but keeps Capture.bmp.
        QFile::copy(p.path + "Capture.bmp", p.path + "temp00.bmp");
        p.write("Capture.jpg", "");
        main.close();
        QVERIFY(!QFile::exists(p.path + "temp00.bmp") && !QFile::exists(p.path + "Capture.jpg"));
        QVERIFY(QFile::exists(p.path + "Capture.bmp"));
        p.main.reset();

        // What the controls showed, not the keys' defaults; no dialog's key is invented.
        IniFile ini(p.path + "Ostrel.sif");
        QCOMPARE(ini.readString("FTP Settings", "Update_Interval", "x"), QString("3"));
        QCOMPARE(ini.readString("Motion Detection", "Treshold", "x"), QString("0"));
        QCOMPARE(ini.readString("Other Settings", "FirstRun", "x"), QString("1"));
        QVERIFY(!ini.valueExists("FTP Settings", "FTP_Host"));
        QCOMPARE(QFile(ini.fileName()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        QCOMPARE(readDriverIndex(IniFile(p.path + "vcap.sif")), 1);

        // The next start finds its driver: no warning, no dialog, live at once.
        p.desk.shown.clear();
        TMain& again = p.open(drivers(), false);
        VERIFY_NO_BOXES(p.desk);
        QCOMPARE(choice.asked, 1);
        QVERIFY(again.VideoCap1()->DriverOpen());
        QCOMPARE(again.VideoCap1()->DriverIndex(), 1);
    }

    // Without a driver that connects the program runs without video, its settings loaded.
    void startsWithoutVideo_data() {
        QTest::addColumn<bool>("connects");
        QTest::addColumn<int>("savedIndex");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("indexAfter");
        // An unknown index asks for a driver; Cancel leaves none chosen.
        QTest::newRow("unknown index, Cancel")
            << true << 7 << QStringList({SelectDriver, "No capture driver selected"}) << -1;
        // The index stays, so the same driver is tried at the next start.
        QTest::newRow("driver will not connect")
            << false << 0 << QStringList{"Can not connect capture driver with capture window"} << 0;
    }
    void startsWithoutVideo() {
        QFETCH(bool, connects);
        QFETCH(int, savedIndex);
        QFETCH(QStringList, boxes);
        QFETCH(int, indexAfter);
        Program p;
        p.write("vcap.sif", "[Driver]\r\nindex=" + QByteArray::number(savedIndex) + "\r\n");
        p.set("Motion Detection", "Treshold", "12");
        DriverChoice choice(-1);
        TMain& main = p.open(drivers(connects), false);
        QCOMPARE(choice.asked, connects ? 1 : 0);
        QCOMPARE(p.desk.shownTexts(), boxes);
        QCOMPARE(main.VideoCap1()->DriverIndex(), indexAfter);
        QVERIFY(!main.VideoCap1()->DriverOpen() && !main.startedWithVideo());
        QVERIFY(!p.ui()->CheckPrev->isChecked());
        QCOMPARE(p.ui()->lblTreshold->text(), QString("12%")); // settings loaded all the same

        // Motion detection asks for a driver and changes nothing, not even the folder.
        p.desk.shown.clear();
        const QStringList files = QDir(p.path).entryList(QDir::AllEntries);
        p.ui()->BitBtnMotion->click();
        p.ui()->menuMotion->trigger();
        QCOMPARE(p.desk.shownTexts(), QStringList(2, "Select video driver first!"));
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Information);
        QVERIFY(!main.motion()->running() && !main.Timer2()->isActive());
        CHECK(verifyLook(main));
        QCOMPARE(QDir(p.path).entryList(QDir::AllEntries), files);
        main.close();
        p.main.reset();
        QCOMPARE(IniFile(p.path + "Ostrel.sif").readInteger("Motion Detection", "Treshold", -1),
                 12);
        QCOMPARE(readDriverIndex(IniFile(p.path + "vcap.sif")), indexAfter);
    }

    void settingsReachTheControls() {
        Ready p("[motion detection]\r\nTreshold=20\r\nSensitivity=0x5A\r\nInterval=4\r\n"
                "Start_Delay=3\r\nDelay_Sound=0\r\nDetection_Sound=1\r\nRemote_Save=1\r\n"
                "[Capture Parameters]\r\nFrameRate=60\r\nCapture_Time=99999\r\nBuffer_Size=-4\r\n"
                "[FTP Settings]\r\nFTP_Host=ftp.example.org\r\nFTP_Timeout=30\r\nPassword=pw\r\n"
                "[Other Settings]\r\nLogErrors=0\r\nErrorBeep=1\r\nCamera=Shop\r\n"
                "[Protocol Settings]\r\nEmailOnly=1\r\n");
        TMain& main = *p.main;
        auto* ui = p.ui();
        VERIFY_NO_BOXES(p.desk);
        QCOMPARE(ui->ScrollBarTreshold->value(), 20);
        QCOMPARE(ui->lblSensitivity->text(), QString("90%"));
        QCOMPARE(ui->edDetectInterval->text(), QString("4"));
        QCOMPARE(ui->edDelay->text(), QString("3"));
        QVERIFY(!ui->CheckBoxSound->isChecked() && ui->CheckBoxDetectionSound->isChecked());
        QVERIFY(ui->rbRemoteSave->isChecked());
        QCOMPARE(main.VideoCap1()->FrameRate(), quint16(60));
        QCOMPARE(main.VideoCap1()->CapTimeLimit(), quint16(65535));
        QCOMPARE(main.VideoCap1()->BufferFileSize(), quint16(0));
        QCOMPARE(main.FtpClient()->HostName(), QString("ftp.example.org"));
        QCOMPARE(main.FtpClient()->Timeout(), 30);
        QCOMPARE(main.FtpClient()->PassWord(), QString("pw"));
        QVERIFY(!ui->menuLogErrors->isChecked() && !main.errorLog().logErrors());
        QVERIFY(main.errorLog().beepOnErrors());
        QCOMPARE(main.Camera, QString("Shop"));
        QVERIFY(main.EmailOnly && !ui->GroupBox3->isEnabled());
    }

    void logErrorsOffKeepsTheFileAtClose() {
        Program p;
        p.write("vcap.sif", "[Driver]\r\nindex=0\r\n");
        p.write("Error.log", "old line\r\n");
        TMain& main = p.open(drivers(), false);
        QCOMPARE(main.errorLog().lines(), QStringList{"old line"});
        p.ui()->menuLogErrors->trigger(); // unchecked
        main.errorLog().add(" :   not logged");
        main.close();
        p.main.reset();
        QCOMPARE(p.read("Error.log"), QByteArray("old line\r\n"));
        QCOMPARE(IniFile(p.path + "Ostrel.sif").readString("Other Settings", "LogErrors", "x"),
                 QString("0"));
    }

    void unwritableSettingsStillSaveTheLog() {
        Ready p;
        QVERIFY(QDir(p.path).mkdir("Ostrel.sif")); // a folder cannot be replaced by a file
        p.main->errorLog().add(" :   kept", false);
        p.main->close();
        QCOMPARE(p.desk.shownTexts().size(), 1);
        QVERIFY(p.desk.shownTexts().first().startsWith("Unable to write to "));
        p.main.reset();
        QVERIFY(p.read("Error.log").contains(" :   kept\r\n"));
    }

    void deviceLostClosesTheDeviceAndWarns() {
        Ready p;
        TMain& main = *p.main;
        emit main.VideoCap1()->OnError(1, "Capture device was not detected.");
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(p.desk.shownTexts(),
                 QStringList{"Capture device was not detected. Connect camera before running "
                             "this program."});
        QVERIFY(!main.VideoCap1()->DriverOpen());
        QCOMPARE(main.VideoCap1()->DriverIndex(), -1);
        QVERIFY(!p.ui()->CheckPrev->isEnabled());
        QCOMPARE(main.statusPanel(1)->text(), QString("Capture device was not detected."));
        QVERIFY(p.read("Error.log")
                    .contains(" :   Video error = Capture device was not detected.\r\n"));

        // Other errors are shown and logged but keep the device.
        emit main.VideoCap1()->OnError(2, QString());
        QCOMPARE(main.statusPanel(1)->text(), QString());
        QCOMPARE(main.errorLog().lines().size(), 2); // the empty first line and the error

        // A later driver choice works again.
        DriverChoice choice(0);
        p.ui()->menuVideoDriver1->trigger();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QCOMPARE(main.VideoCap1()->DriverIndex(), 0);
    }

    void statusCallbackTextsAndRecordingCaptions() {
        Ready p;
        auto* video = p.main->VideoCap1();
        auto* ui = p.ui();
        emit video->OnStatusCallback(1, "Live window 320x240");
        QCOMPARE(p.main->statusPanel(1)->text(), QString("Preview window 320x240"));
        emit video->OnStatusCallback(510, "frame");
        QCOMPARE(p.main->statusPanel(1)->text(), QString("Preview window 320x240"));
        emit video->OnStatusCallback(300, "Capture begins");
        QCOMPARE(ui->BtStartStop->text(), QString("Stop Video"));
        QCOMPARE(ui->menuVideo->text(), QString("Stop Video Recording"));
        emit video->OnStatusCallback(301, "Capture ends");
        QCOMPARE(ui->BtStartStop->text(), QString("Start Video"));
        QCOMPARE(ui->menuVideo->text(), QString("Start Video Recording"));
    }

    void rateField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("errors");
        QTest::newRow("45") << "45" << 15 << "45" << 0;
        QTest::newRow("0") << "0" << 15 << "0" << 0;
        QTest::newRow("30") << "30" << 30 << "30" << 0;
        QTest::newRow("1") << "1" << 1 << "1" << 0;
        QTest::newRow("emptied") << "" << 15 << "15" << 0;
        // Pasted text is not a number: the error is shown and the rate stays.
        QTest::newRow("pasted letters") << "1a" << 7 << "1a" << 1;
    }
    void rateField() {
        QFETCH(QString, typed);
        QFETCH(int, rate);
        QFETCH(QString, shown);
        QFETCH(int, errors);
        Ready p;
        p.ui()->Edit1->setText("7");
        p.ui()->Edit1->setText(typed);
        QCOMPARE(int(p.main->VideoCap1()->PreviewRate()), rate);
        QCOMPARE(p.ui()->Edit1->text(), shown);
        QCOMPARE(p.desk.shown.size(), errors);
        if (errors) QCOMPARE(p.desk.shown.last().kind, MsgKind::Error);
    }

    // Typed keys other than digits are refused with a beep and a box naming the key.
    void fieldsTakeDigitsOnly_data() {
        QTest::addColumn<QString>("field");
        for (const char* name : {"Edit1", "edDelay", "edDetectInterval", "EditInterval"})
            QTest::newRow(name) << name;
    }
    void fieldsTakeDigitsOnly() {
        QFETCH(QString, field);
        Ready p;
        p.main->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.main.get()));
        auto* edit = p.main->findChild<QLineEdit*>(field);
        edit->setText("1");
        edit->setFocus();
        edit->setCursorPosition(1);
        QTest::keyClicks(edit, "x2 -");
        QCOMPARE(edit->text(), QString("12"));
        QCOMPARE(p.desk.shownTexts(),
                 QStringList({"Invalid entry: x", "Invalid entry:  ", "Invalid entry: -"}));
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(p.desk.beeps, 3);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("1"));
        QCOMPARE(p.desk.shown.size(), 3);
    }

    // The hint of the control under the mouse; a check box passes its moves on to its
    // group, whose empty hint must not replace the box's.
    void hintsFollowTheMouse() {
        Ready p;
        p.main->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.main.get()));
        auto* ui = p.ui();
        for (QWidget* w : {(QWidget*)ui->BitBtnMotion, (QWidget*)ui->GroupBox4,
                           (QWidget*)ui->CheckPrev, (QWidget*)p.main->VideoCap1(),
                           (QWidget*)ui->ListBox1}) {
            const Hint hint = mainWindowHint(w->objectName());
            QVERIFY2(hint.kind != HintKind::None, qPrintable(w->objectName()));
            if (w == ui->GroupBox4)
                QTest::mouseMove(w, QPoint(2, w->height() - 3)); // clear of its controls
            else
                QTest::mouseMove(w);
            QCOMPARE(p.main->statusPanel(0)->text(), hint.text);
        }
    }

    void errorMenusAndHelp() {
        Ready p({}, true);
        auto* ui = p.ui();
        ui->menuErrorBeep->trigger();
        QVERIFY(p.main->errorLog().beepOnErrors());

        // View Error Log reloads the file: lines not yet written are dropped.
        p.main->errorLog().add(" :   in memory only", false);
        p.write("Error.log", "from disk\r\n");
        ui->menuViewErrorLog->trigger();
        QCOMPARE(p.main->errorLog().lines(), QStringList{"from disk"});
        QVERIFY(p.main->logForm()->isVisible());

        ui->menuHelpContents->trigger();
        ui->menuHelpIndex->trigger();
        QCOMPARE(p.desk.helpRequests.size(), 2);
        QCOMPARE(p.desk.helpRequests[0].first, HelpCommand::Contents);
        QCOMPARE(p.desk.helpRequests[1].first, HelpCommand::Index);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
