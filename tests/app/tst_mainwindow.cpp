// The main window's start-up and close sequences in a temporary program folder, the
// capture events it wires, its number fields, its hints and its menus.
#include "MainFixture.h"
#include "app/MainHints.h"
#include "app/MotionController.h"
#include "app/RequestReport.h"
#include "app/Settings.h"
#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "net/FtpClient.h"
#include "setup/unWizard1.h"
#include "ui_DlgDriver.h"
#include <QAccessible>
#include <QLabel>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString SelectDriver =
    QStringLiteral("Could not activate video input device. Select a capture driver first.");

// The virtual camera as drivers 0 and 1.
struct TwoCameras : DriverRegistry {
    std::shared_ptr<CaptureDriver> camera;
    explicit TwoCameras(const QString& folder) : camera(std::make_shared<VirtualCamera>(folder)) {}
    std::shared_ptr<CaptureDriver> driver(int index) override {
        return index < 2 ? camera : nullptr;
    }
};

// Answers the driver dialog by choosing `line` (-1: Cancel).
struct DriverChoice {
    int line, asked = 0, preselected = -2;
    explicit DriverChoice(int l) : line(l) {
        setCaptureDriverDialogRunner([this](TDlgCapDriver& dialog) {
            auto* combo = dialog.ui()->ComboBox1;
            ++asked;
            preselected = combo->currentIndex();
            combo->setCurrentIndex(line);
            return int(line < 0 ? QDialog::Rejected : QDialog::Accepted);
        });
    }
    ~DriverChoice() { setCaptureDriverDialogRunner({}); }
};

// A folder whose vcap.sif chooses driver 0, with `settings` as Ostrel.sif, opened.
struct Ready : Program {
    explicit Ready(const QByteArray& settings = {}, bool windows = false) {
        write("vcap.sif", "[Driver]\r\nindex=0\r\n");
        if (!settings.isEmpty()) write("Ostrel.sif", settings);
        open(std::make_shared<TwoCameras>(path), windows);
    }
};

// Closes each modal window as soon as it is up (an FTP wait may come first), noting the
// class of the last.
struct ModalCloser {
    QTimer watch;
    QString seen;
    ModalCloser() {
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                seen = w->metaObject()->className();
                w->close();
            }
        });
        watch.start(10);
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
        TMain& main = p.open(std::make_shared<TwoCameras>(p.path));
        QCOMPARE(p.read("Capture.bmp").left(2), QByteArray("BM"));
        QVERIFY(!QFile::exists(p.path + "Ostrel.sif"));
        QCOMPARE(p.desk.shownTexts(), QStringList{SelectDriver});
        QCOMPARE(p.desk.shown[0].kind, MsgKind::Warning);
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(choice.preselected, -1);
        QCOMPARE(main.VideoCap1()->DriverIndex(), 1);
        QVERIFY(main.startedWithVideo());

        // The close removes the temporary pictures but keeps Capture.bmp.
        QFile::copy(p.path + "Capture.bmp", p.path + "temp00.bmp");
        p.write("Capture.jpg", "");
        main.close();
        QVERIFY(!QFile::exists(p.path + "temp00.bmp"));
        QVERIFY(!QFile::exists(p.path + "Capture.jpg"));
        QVERIFY(QFile::exists(p.path + "Capture.bmp"));
        p.main.reset();

        // What the controls showed, not the keys' defaults; no dialog's key is invented; the
        // chosen driver is the next start's.
        IniFile ini(p.path + "Ostrel.sif");
        QCOMPARE(ini.readString("FTP Settings", "Update_Interval", ""), QString("3"));
        QVERIFY(!ini.valueExists("FTP Settings", "FTP_Host"));
        QCOMPARE(readDriverIndex(IniFile(p.path + "vcap.sif")), 1);
    }

    // Without a driver that connects the program runs without video, its settings loaded;
    // motion detection asks for a driver and changes nothing, not even the folder.
    void startsWithoutVideo_data() {
        QTest::addColumn<int>("savedIndex");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("indexAfter");
        // An unknown index asks for a driver; Cancel leaves none chosen.
        QTest::newRow("unknown index, Cancel")
            << 7 << QStringList({SelectDriver, "No capture driver selected"}) << -1;
        // The index stays, so the same driver is tried at the next start.
        QTest::newRow("driver will not connect")
            << 0 << QStringList{"Can not connect capture driver with capture window"} << 0;
    }
    void startsWithoutVideo() {
        QFETCH(int, savedIndex);
        QFETCH(QStringList, boxes);
        QFETCH(int, indexAfter);
        Program p;
        // The camera plays a file that is no video.
        p.write("vcap.sif", "[Driver]\r\nindex=" + QByteArray::number(savedIndex) +
                                "\r\n[Virtual Camera]\r\nSource=Ostrel.sif\r\n");
        p.set("Motion Detection", "Treshold", "12");
        DriverChoice choice(-1);
        TMain& main = p.open(std::make_shared<TwoCameras>(p.path), false);
        QCOMPARE(choice.asked, indexAfter < 0 ? 1 : 0);
        QCOMPARE(p.desk.shownTexts(), boxes);
        QCOMPARE(main.VideoCap1()->DriverIndex(), indexAfter);
        QVERIFY(!main.VideoCap1()->DriverOpen());
        QVERIFY(!main.startedWithVideo());
        QVERIFY(!p.ui()->CheckPrev->isChecked());
        QCOMPARE(p.ui()->lblTreshold->text(), QString("12%"));

        p.desk.shown.clear();
        const QStringList files = QDir(p.path).entryList(QDir::AllEntries);
        p.ui()->BitBtnMotion->click();
        p.ui()->menuMotion->trigger();
        QCOMPARE(p.desk.shownTexts(), QStringList(2, "Select video driver first!"));
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Information);
        QVERIFY(!main.motion()->running());
        QVERIFY(!main.Timer2()->isActive());
        CHECK(verifyLook(main));
        QCOMPARE(QDir(p.path).entryList(QDir::AllEntries), files);
        main.close();
        p.main.reset();
        QCOMPARE(IniFile(p.path + "Ostrel.sif").readInteger("Motion Detection", "Treshold", 0), 12);
        QCOMPARE(readDriverIndex(IniFile(p.path + "vcap.sif")), indexAfter);
    }

    // The keys no other test reads through the window; the sessions' tests read theirs
    // (interval, delay and sounds, remote save, error beep, camera name, e-mail only). With
    // Log Errors off nothing is added, and the close keeps the file as it was.
    void settingsReachTheControls() {
        Ready p("[motion detection]\r\nTreshold=20\r\nSensitivity=0x5A\r\n"
                "[Capture Parameters]\r\nFrameRate=60\r\nCapture_Time=99999\r\nBuffer_Size=-4\r\n"
                "[FTP Settings]\r\nFTP_Timeout=30\r\n[Other Settings]\r\nLogErrors=0\r\n");
        TMain& main = *p.main;
        auto* ui = p.ui();
        VERIFY_NO_BOXES(p.desk);
        QCOMPARE(ui->lblTreshold->text(), "20%");
        QCOMPARE(ui->lblSensitivity->text(), "90%");
        auto* video = main.VideoCap1();
        QCOMPARE(video->FrameRate(), 60);
        QCOMPARE(video->CapTimeLimit(), 65535);
        QCOMPARE(video->BufferFileSize(), 0);
        QCOMPARE(main.FtpClient()->Timeout(), 30); // host and login: the FTP tests' uploads
        QVERIFY(!ui->menuLogErrors->isChecked());
        p.write("Error.log", "from disk\r\n");
        main.errorLog().add(" :   not logged");
        main.close();
        p.main.reset();
        QCOMPARE(p.read("Error.log"), QByteArray("from disk\r\n"));
        QCOMPARE(IniFile(p.path + "Ostrel.sif").readString("Other Settings", "LogErrors", ""),
                 QString("0"));
    }

    // What goes wrong with the program's own files is told in the status bar, never in a
    // box that nobody may be there to close: a settings file too large to be one (not
    // passed over for the defaults in silence) and a log that cannot be written, once. A
    // server's reply is shown as it came, never as markup, also to a screen reader.
    void statusBarTellsItAsItIs() {
        Ready p(QByteArray(4 * 1024 * 1024 + 1, ' '));
        const QString problem =
            "Settings file " + p.path +
            "Ostrel.sif cannot be read (larger than 4 MiB): the defaults are used";
        QCOMPARE(p.main->statusPanel(1)->text(), problem);
        QVERIFY(p.main->errorLog().lines().last().endsWith(" :   " + problem));

        QVERIFY(QFile::remove(p.path + "Error.log"));
        QVERIFY(QDir(p.path).mkdir("Error.log"));
        emit p.main->VideoCap1()->OnError(2, "first");
        QCOMPARE(p.main->statusPanel(1)->text(),
                 "Unable to write to " + p.path + "Error.log (Is a directory)");
        emit p.main->VideoCap1()->OnError(2, "second");
        QCOMPARE(p.main->statusPanel(1)->text(), QString("second"));
        VERIFY_NO_BOXES(p.desk);

        p.main->report(smtpMailDone(-1, "550 <b>bold</b><img src=x.png>", false));
        QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(p.main->statusPanel(1));
        QCOMPARE(panel->text(QAccessible::Name), "550 <b>bold</b><img src=x.png>");
    }

    void captureEvents() {
        Ready p;
        TMain& main = *p.main;
        auto* video = main.VideoCap1();
        auto* ui = p.ui();
        emit video->OnStatusCallback(1, "Live window 640x480");
        QCOMPARE(main.statusPanel(1)->text(), QString("Preview window 640x480"));
        emit video->OnStatusCallback(510, "frame"); // not shown
        QCOMPARE(main.statusPanel(1)->text(), QString("Preview window 640x480"));
        emit video->OnStatusCallback(300, "Capture begins");
        QCOMPARE(ui->BtStartStop->text() + ", " + ui->menuVideo->text(),
                 QString("Stop Video, Stop Video Recording"));
        emit video->OnStatusCallback(301, "Capture ends");
        QCOMPARE(ui->BtStartStop->text() + ", " + ui->menuVideo->text(),
                 QString("Start Video, Start Video Recording"));

        // Other errors keep the device; one without a text clears the panel, logs nothing.
        emit video->OnError(2, QString());
        QCOMPARE(main.statusPanel(1)->text(), QString());
        QCOMPARE(main.errorLog().lines(), QStringList{""});
        QVERIFY(video->DriverOpen());

        // A lost device is closed, with a warning.
        emit video->OnError(1, "Capture device was not detected.");
        QCOMPARE(p.desk.shownTexts().last(),
                 QString("Capture device was not detected. "
                         "Connect camera before running this program."));
        QCOMPARE(p.desk.beeps, 1);
        QVERIFY(!video->DriverOpen());
        QCOMPARE(video->DriverIndex(), -1);
        QVERIFY(!ui->CheckPrev->isEnabled());
        QCOMPARE(main.statusPanel(1)->text(), QString("Capture device was not detected."));
        QVERIFY(p.read("Error.log")
                    .contains(" :   Video error = Capture device was not detected.\r\n"));

        // A later driver choice works again.
        DriverChoice choice(0);
        ui->menuVideoDriver1->trigger();
        QVERIFY(video->DriverOpen());
        QCOMPARE(video->DriverIndex(), 0);
    }

    // The rate field sets the preview rate (1 to 30, else 15; emptied shows 15); typed keys
    // other than digits are refused in every number field with a beep and a box naming
    // the key, pasted text that is no number with an error box. The status bar shows the
    // hint of the control under the mouse.
    void numberFieldsAndHints() {
        Ready p;
        TMain& main = *p.main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* rate = p.ui()->Edit1;
        for (const auto& [typed, preview, shown] : {std::tuple{"45", 15, "45"},
                                                    {"0", 15, "0"},
                                                    {"30", 30, "30"},
                                                    {"1", 1, "1"},
                                                    {"", 15, "15"},
                                                    {"1a", 15, "1a"}}) {
            rate->setText("7");
            rate->setText(typed);
            QCOMPARE(int(main.VideoCap1()->PreviewRate()), typed == QString("1a") ? 7 : preview);
            QCOMPARE(rate->text(), QString(shown));
        }
        QCOMPARE(p.desk.shown.size(), 1);
        QCOMPARE(p.desk.shown[0].kind, MsgKind::Error);

        for (const char* name : {"Edit1", "edDelay", "edDetectInterval", "EditInterval"}) {
            p.desk.shown.clear();
            p.desk.beeps = 0;
            auto* edit = main.findChild<QLineEdit*>(name);
            edit->setText("1");
            edit->setFocus();
            edit->setCursorPosition(1);
            QTest::keyClicks(edit, "x2 -");
            QCOMPARE(edit->text(), QString("12"));
            QCOMPARE(p.desk.shownTexts(),
                     QStringList({"Invalid entry: x", "Invalid entry:  ", "Invalid entry: -"}));
            QCOMPARE(p.desk.shown[0].kind, MsgKind::Error);
            QCOMPARE(p.desk.beeps, 3);
            QTest::keyClick(edit, Qt::Key_Backspace);
            QCOMPARE(edit->text(), "1");
            QCOMPARE(p.desk.shown.size(), 3);
        }

        // The hint of the control under the mouse; a check box passes its moves on to its
        // group, whose empty hint must not replace the box's.
        auto* ui = p.ui();
        for (QWidget* w :
             {(QWidget*)ui->BitBtnMotion, (QWidget*)ui->GroupBox4, (QWidget*)ui->CheckPrev,
              (QWidget*)main.VideoCap1(), (QWidget*)ui->ListBox1}) {
            const Hint hint = mainWindowHint(w->objectName());
            QVERIFY2(hint.kind != HintKind::None, qPrintable(w->objectName()));
            QTest::mouseMove(w,
                             w == ui->GroupBox4 ? QPoint(2, w->height() - 3) : w->rect().center());
            QCOMPARE(main.statusPanel(0)->text(), hint.text);
        }
    }

    // Every menu entry does what its table says: the modal window it opens (closed again
    // as soon as it is up), the help it asks for, or what the control it stands for does.
    void menuEntries_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("result");
        const std::pair<const char*, const char*> rows[] = {
            {"menuFileAnimation", "ostrel::TfrmAnimation"},
            {"menuRemoteMgt", "ostrel::TfrmBrowser"},
            {"menuBrowserConf", "ostrel::TfrmBrowserConf"},
            {"menuWizard", "ostrel::TfrmWizard1"},
            {"menuViewErrorLog", "log window"},
            {"menuExit", "closed"},
            {"menuVideoCompression1", "ostrel::TDlgVideoCompression"},
            {"menuCaptureparameter1", "ostrel::TDlgCapParam"},
            {"menuNetwork", "ostrel::TfrmNetwork"},
            {"menuErrorBeep", "beep on"},
            {"menuLogErrors", "log off"},
            {"menuHelpContents", "help contents"},
            {"menuHelpIndex", "help index"},
            {"menuAbout", "ostrel::TAboutDlg"}};
        for (const auto& [entry, result] : rows)
            QTest::newRow(entry) << entry << result;
    }
    void menuEntries() {
        QFETCH(QString, entry);
        QFETCH(QString, result);
        Ready p("[Other Settings]\r\nFirstRun=0\r\n", true);
        TMain& main = *p.main;
        ModalCloser modal;
        auto* action = main.findChild<QAction*>(entry);
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        action->trigger();
        modal.watch.stop();
        const QHash<QString, std::function<bool()>> outcomes{
            // What the log window and the close show is the error log's and the start's test.
            {"log window", [&] { return main.logForm()->isVisible(); }},
            {"closed", [&] { return !main.isVisible(); }},
            {"beep on", [&] { return main.errorLog().beepOnErrors(); }},
            {"log off", [&] { return !main.errorLog().logErrors(); }},
            {"help contents",
             [&] { return p.desk.helpRequests.value(0).first == HelpCommand::Contents; }},
            {"help index",
             [&] { return p.desk.helpRequests.value(0).first == HelpCommand::Index; }},
        };
        if (outcomes.contains(result))
            QVERIFY2(outcomes[result](), qPrintable(p.desk.shownTexts().join("; ")));
        else
            QCOMPARE(modal.seen, result);
    }

    // F1 opens the topic of the window it is pressed in; in the main window, the contents.
    void helpKey_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("context");
        QTest::newRow("main window") << "main" << -1;
        QTest::newRow("capture driver") << "driver" << 10;
        QTest::newRow("wizard step 1") << "wizard1" << 8;
    }
    void helpKey() {
        QFETCH(QString, window);
        QFETCH(int, context);
        Ready p("[Other Settings]\r\nFirstRun=0\r\n", true);
        TMain& main = *p.main;
        TDlgCapDriver driver(&main);
        const QHash<QString, QWidget*> windows{
            {"main", &main}, {"driver", &driver}, {"wizard1", main.wizard()->page1()}};
        QWidget* w = windows[window];
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_F1);
        QCOMPARE(p.desk.helpRequests.size(), 1);
        QCOMPARE(p.desk.helpRequests[0], context < 0 ? qMakePair(HelpCommand::Contents, 0)
                                                     : qMakePair(HelpCommand::Context, context));
    }

    // The button quits an open connection before the remote host window comes up. Page
    // changes still pending at the close: No drops them, Yes shows the remote host window
    // first, and a close by a signal asks nobody. The close ends a start delay: no session
    // starts behind a closed window.
    void webPageWindows_data() {
        QTest::addColumn<QString>("close");
        QTest::newRow("answered No") << "No";
        QTest::newRow("answered Yes") << "Yes";
        QTest::newRow("by a signal") << "signal";
    }
    void webPageWindows() {
        QFETCH(QString, close);
        FtpHost host;
        QVERIFY(host.start());
        Ready p("[Other Settings]\r\nFirstRun=0\r\n[Motion Detection]\r\nStart_Delay=60\r\n"
                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nUser_ID=ostrel\r\nPassword=s3cret\r\n"
                "FTP_Port=" +
                    QByteArray::number(host.port),
                true);
        TMain& main = *p.main;
        auto* ftp = main.FtpClient();
        QVERIFY(ftp->Connect());
        ModalCloser modal;
        p.ui()->btnWebMgt->click();
        QVERIFY(!ftp->Connected());
        QCOMPARE(modal.seen, "ostrel::TfrmBrowser");

        modal.seen.clear();
        p.ui()->BitBtnMotion->click();
        QVERIFY(main.motion()->delaying());
        main.WebPage.PageChangesPending = true;
        p.desk.answers << (close == "Yes" ? MsgButton::Yes : MsgButton::No);
        if (close == "signal")
            main.closeBySignal();
        else
            main.close();
        QCOMPARE(p.desk.shownTexts(),
                 close == "signal"
                     ? QStringList()
                     : QStringList{"There are changes to the Webpage that have not yet been "
                                   "uploaded.\nDo you want to upload them now ?"});
        QCOMPARE(modal.seen, close == "Yes" ? "ostrel::TfrmBrowser" : QString());
        QCOMPARE(main.WebPage.PageChangesPending, close == "Yes");
        QVERIFY(!main.motion()->delaying());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
