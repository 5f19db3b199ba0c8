// Detection sessions in the main window, in a temporary program folder with the virtual
// camera as driver 0: the start/stop command and the window's look, the start delay, the
// images of real and forced detections, and (built as tst_motionsession_net) the uploads
// and mails against the real FTP and SMTP servers of tests/peers.
//
// The checks are driven by calling Timer2Timer directly. A detection is forced by moving
// the reference (LastFrameSum) 10 % away from the scene's sum just before a check, so the
// still room's next frame differs by about 9 % (similarity 91: a detection with the
// default sliders).
#include "MainFixture.h"
#include "app/MotionController.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "motion/DetectionSession.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QDateTime Start(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString SessionName = QStringLiteral("12-05-26_10.15.30");

class VirtualCameraOnly : public DriverRegistry {
public:
    explicit VirtualCameraOnly(const QString& folder)
        : camera_(std::make_shared<VirtualCamera>(folder)) {}
    std::shared_ptr<CaptureDriver> driver(int index) override {
        return index == 0 ? camera_ : nullptr;
    }

private:
    std::shared_ptr<CaptureDriver> camera_;
};

QStringList imageNames(int n) {
    QStringList names;
    for (int i = 1; i <= n; ++i)
        names << QStringLiteral("image%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    return names;
}

// vcap.sif chooses the virtual camera, Ostrel.sif skips the wizard and adds `settings`
// (INI text of whole sections); the clock starts at Start.
struct Room : Program {
    explicit Room(int motionInterval, const QByteArray& settings = {}) {
        write("vcap.sif", "[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nMotion_Interval=" +
                              QByteArray::number(motionInterval) + "\r\n");
        // One [Other Settings] section: a second one with the same name would be ignored.
        const QByteArray other = "[Other Settings]\r\n";
        QByteArray text = settings;
        if (text.contains(other))
            text.replace(other, other + "FirstRun=0\r\n");
        else
            text += other + "FirstRun=0\r\n";
        write("Ostrel.sif", text);
        desk.clock = Start;
    }
    TMain& openCamera(bool windows = true) {
        return open(std::make_shared<VirtualCameraOnly>(path), windows);
    }
    void click() { ui()->BitBtnMotion->click(); }

    QStringList sessionFolders() const {
        QStringList all = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const char* fixed : {"Snapshots", "Videos", "Downloaded Images"})
            all.removeAll(fixed);
        return all;
    }
    QStringList images(const QString& session) const {
        return QDir(path + session).entryList({"*.jpg"}, QDir::Files, QDir::Name);
    }
    QStringList listItems() const {
        QStringList items;
        for (int i = 0; i < ui()->ListBox1->count(); ++i)
            items << ui()->ListBox1->item(i)->text();
        return items;
    }
    // Moves the reference away from the scene, then runs one check.
    // Waits for a new camera frame, so that the next detection saves another picture
    // however slowly the build runs.
    void freshFrame() {
        QSignalSpy fresh(main->VideoCap1(), &TVideoCapture::frameShown);
        QVERIFY(fresh.wait(5000));
    }
    void forcedDetection() {
        MotionDetector& d = main->motion()->detector();
        QVERIFY(d.LastFrameSum() > 1000000);
        d.setLastFrameSum(quint32(double(d.LastFrameSum()) * 1.1));
        main->motion()->Timer2Timer();
    }
    // Two detections on different frames.
    void twoDetections() {
        forcedDetection();
        QTest::qWait(150);
        forcedDetection();
    }
    // The session's n images, in the list, the count and the folder, each a whole JPEG
    // of the camera's size (and all different when asked).
    void verifyImages(const QString& session, int n, bool distinct = false) {
        const QStringList names = imageNames(n);
        QCOMPARE(main->motion()->MotionDetectCount, n);
        QCOMPARE(listItems(), names);
        QCOMPARE(ui()->lblDetectCount->text(), detectCountText(n));
        QCOMPARE(images(session), names);
        QSet<QByteArray> different;
        for (const QString& name : names) {
            const QByteArray bytes = read(session + "/" + name);
            QVERIFY2(bytes.startsWith("\xFF\xD8\xFF"), qPrintable(name));
            QImage image;
            QVERIFY2(image.loadFromData(bytes, "JPG"), qPrintable(name));
            QCOMPARE(image.size(), QSize(VirtualCamera::Width, VirtualCamera::Height));
            different.insert(bytes);
        }
        if (distinct) QCOMPARE(different.size(), n);
    }
};

// What a running session locks, and what stays usable.
QList<QObject*> lockedWhileRunning(Ui::TMain* ui) {
    return {ui->GroupBox1,
            ui->GroupBox2,
            ui->GroupBox3,
            ui->edDetectInterval,
            ui->edDelay,
            ui->CheckBoxSound,
            ui->CheckBoxDetectionSound,
            ui->ScrollBarTreshold,
            ui->ScrollBarSensitivity,
            ui->rbLocalSave,
            ui->rbRemoteSave,
            ui->btnWebMgt,
            ui->menuVideoDriver1,
            ui->menuCaptureparameter1,
            ui->menuVideoCompression1,
            ui->menuNetwork,
            ui->menuRemoteMgt,
            ui->menuFileAnimation,
            ui->menuSnapshot,
            ui->menuVideo,
            ui->menuPeriodicUpdate,
            ui->menuWizard};
}

void verifyRunningLook(Ui::TMain* ui, bool running) {
    QCOMPARE(ui->BitBtnMotion->text(), running ? QString("Stop") : QString("Start"));
    QVERIFY(ui->BitBtnMotion->styleSheet().contains(running ? "red" : "green"));
    QCOMPARE(ui->stMotionActive->isHidden(), !running);
    QCOMPARE(ui->menuMotion->text(),
             running ? QString("Stop Motion Detection") : QString("Start Motion Detection"));
    for (QObject* o : lockedWhileRunning(ui))
        QVERIFY2(o->property("enabled").toBool() == !running, qPrintable(o->objectName()));
    QVERIFY(ui->BitBtnMotion->isEnabled());
    QVERIFY(ui->menuMotion->isEnabled());
}

int countOf(const QStringList& lines, const QString& part) {
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.contains(part); }));
}

bool smtpIdle(TMain& main) {
    return main.SmtpClient()->Ready() && !main.SmtpClient()->Connected();
}

} // namespace

// ---- without servers ---------------------------------------------------------------------

class TestMotionSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void sessionLookImagesAndRestart() {
        Room r(0, "[Motion Detection]\r\nInterval=4\r\n");
        TMain& main = r.openCamera();
        auto* ui = r.ui();
        auto* motion = main.motion();
        QVERIFY(main.VideoCap1()->DriverOpen());
        ui->ListBox1->addItem("left over");
        motion->detector().setLastFrameSum(7);

        r.click();
        QVERIFY(r.desk.tones.isEmpty());
        QVERIFY(motion->running());
        QCOMPARE(motion->MotionSessionName, SessionName);
        QCOMPARE(motion->MotionSessionFolder, r.path + SessionName);
        QCOMPARE(r.sessionFolders(), QStringList{SessionName});
        QVERIFY(motion->detector().LastFrameSum() > 1000000); // seeded from a real frame
        CHECK(verifyRunningLook(ui, true));
        CHECK(r.verifyImages(SessionName, 0));
        QVERIFY(main.Timer2()->isActive());
        QCOMPARE(main.Timer2()->interval(), 4000);

        // The still room: fresh frames, only sensor noise and the clock change.
        for (int tick = 0; tick < 45; ++tick) {
            QTest::qWait(70);
            motion->Timer2Timer();
        }
        CHECK(r.verifyImages(SessionName, 0));

        r.desk.clock = Start.addSecs(32);
        CHECK(r.forcedDetection());
        CHECK(r.verifyImages(SessionName, 1));
        QCOMPARE(motion->MotionImageFile, r.path + SessionName + "/image001.jpg");
        QCOMPARE(motion->MotionRemoteName, SessionName + "_10.16.02.jpg");
        // The frame of the detection stays behind in the program folder.
        QVERIFY(r.read("temp00.bmp").startsWith("BM"));
        QCOMPARE(r.desk.beeps, 0); // no detection sound unless asked for
        CHECK(r.forcedDetection());
        CHECK(r.verifyImages(SessionName, 2));

        // Stop: the window comes back, the list and count stay for browsing.
        motion->detector().setLastFrameSum(7);
        ui->menuMotion->trigger();
        QVERIFY(!motion->running());
        QVERIFY(!main.Timer2()->isActive());
        QVERIFY(motion->detector().LastFrameSum() > 1000000); // seeded on stop as well
        CHECK(verifyRunningLook(ui, false));
        CHECK(r.verifyImages(SessionName, 2));
        QCOMPARE(motion->MotionSessionName, SessionName);
        QCOMPARE(motion->MotionImageCounter, 2);
        // A check that comes after the stop does nothing.
        CHECK(r.forcedDetection());
        QCOMPARE(ui->ListBox1->count(), 2);

        // Start again: a new folder, an empty list, numbers from 001.
        r.desk.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0));
        r.click();
        QCOMPARE(motion->MotionSessionName, QString("12-06-26"));
        QCOMPARE(r.sessionFolders(), QStringList({SessionName, "12-06-26"}));
        CHECK(r.verifyImages("12-06-26", 0));
        r.desk.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 9));
        CHECK(r.forcedDetection());
        CHECK(r.verifyImages("12-06-26", 1));
        QCOMPARE(motion->MotionRemoteName, QString("12-06-26_00.00.09.jpg"));
        QCOMPARE(r.images(SessionName), imageNames(2));
        r.click();
        VERIFY_NO_BOXES(r.desk);
    }

    void figureCrossingTheRoomIsDetected() {
        Room r(3, "[Motion Detection]\r\nInterval=3600\r\nDetection_Sound=1\r\n");
        TMain& main = r.openCamera(false);
        auto* motion = main.motion();
        r.click();
        QVERIFY(motion->running());
        // The figure enters 3 s after the camera opened and keeps walking; its entries
        // and exits change the picture by a few percent.
        QElapsedTimer elapsed;
        elapsed.start();
        while (motion->MotionDetectCount < 3 && elapsed.elapsed() < 15000) {
            QTest::qWait(150);
            motion->Timer2Timer();
        }
        VERIFY_NO_BOXES(r.desk);
        const int count = motion->MotionDetectCount;
        QVERIFY2(count >= 2, qPrintable(QString::number(count)));
        CHECK(r.verifyImages(motion->MotionSessionName, count));
        QCOMPARE(r.desk.beeps, count); // the detection sound, once per detection
        r.click();
    }

    void startDelay_data() {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<quint32>("firstTick");
        QTest::addColumn<int>("tones");
        // A tone takes 800 ms and the delay ends at the first test after its time is up.
        QTest::newRow("0") << "0" << 0u << 0;
        QTest::newRow("1") << "1" << 0u << 2;
        QTest::newRow("3") << "3" << 0u << 4;
        QTest::newRow("4") << "4" << 0u << 5;
        QTest::newRow("3 across the tick wrap") << "3" << 0xFFFFFE00u << 4;
    }
    void startDelay() {
        QFETCH(QString, delay);
        QFETCH(quint32, firstTick);
        QFETCH(int, tones);
        Room r(0, "[Motion Detection]\r\nStart_Delay=" + delay.toLatin1() + "\r\n");
        r.desk.ticks = firstTick;
        TMain& main = r.openCamera(false);
        QVERIFY(r.ui()->CheckBoxSound->isChecked());
        auto* motion = main.motion();
        r.click();
        // The delay runs on its timer (each beat called here, never waited out); the window
        // stays as it was and a second command is ignored.
        for (int beat = 0; motion->delaying(); ++beat) {
            QVERIFY(beat < 100);
            QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Start"));
            QVERIFY(!main.Timer2()->isActive());
            r.click();
            motion->StartDelayTick();
        }
        QCOMPARE(r.desk.tones.size(), tones);
        for (const auto& tone : r.desk.tones) {
            QCOMPARE(tone.frequencyHz, 1100);
            QCOMPARE(tone.milliseconds, 800);
        }
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Stop"));
        QCOMPARE(r.sessionFolders().size(), 1);
        QVERIFY(motion->running() && main.Timer2()->isActive());
    }

    void silentStartDelayStillWaits() {
        Room r(0, "[Motion Detection]\r\nStart_Delay=2\r\nDelay_Sound=0\r\n");
        TMain& main = r.openCamera(false);
        QVERIFY(!r.ui()->CheckBoxSound->isChecked());
        auto* motion = main.motion();
        r.click();
        r.desk.ticks += 1000;
        motion->StartDelayTick();
        QVERIFY(motion->delaying());
        QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Start"));
        r.desk.ticks += 1000;
        motion->StartDelayTick();
        QVERIFY(!motion->delaying());
        QVERIFY(r.desk.tones.isEmpty());
        QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Stop"));
        QVERIFY(main.Timer2()->isActive());
    }

    void intervalZeroRunsWithoutChecks() {
        Room r(3, "[Motion Detection]\r\nInterval=0\r\n");
        TMain& main = r.openCamera(false);
        r.click();
        QVERIFY(main.motion()->running());
        QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Stop"));
        QVERIFY(!main.Timer2()->isActive());
        const quint32 reference = main.motion()->detector().LastFrameSum();
        QTest::qWait(400);
        QCOMPARE(main.motion()->detector().LastFrameSum(), reference); // no check ran
        // The next command stops it like any session.
        r.click();
        QVERIFY(!main.motion()->running());
        CHECK(verifyRunningLook(r.ui(), false));
        VERIFY_NO_BOXES(r.desk);
    }

    void emptyFieldsStopTheStart() {
        Room r(0);
        TMain& main = r.openCamera(false);
        auto* ui = r.ui();

        // No delay: the folder is made, then the command stops before the window changes.
        ui->edDelay->setText("");
        r.click();
        QCOMPARE(r.desk.shown.size(), 1);
        QCOMPARE(r.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(r.sessionFolders(), QStringList{SessionName});
        QVERIFY(!main.motion()->running());
        CHECK(verifyRunningLook(ui, false));

        // No interval: nothing runs and the next command starts again.
        ui->edDelay->setText("0");
        ui->edDetectInterval->setText("");
        ui->ListBox1->addItem("old");
        r.click();
        QCOMPARE(r.desk.shown.size(), 2);
        QCOMPARE(r.desk.shown.last().kind, MsgKind::Error);
        // Nothing runs, and the button says so.
        QCOMPARE(ui->BitBtnMotion->text(), QString("Start"));
        QCOMPARE(ui->ListBox1->count(), 0);
        QVERIFY(!main.Timer2()->isActive());
        QVERIFY(!main.motion()->running());
        QVERIFY(ui->edDetectInterval->isEnabled());
        ui->edDetectInterval->setText("2");
        r.click();
        QCOMPARE(r.desk.shown.size(), 2);
        QVERIFY(main.motion()->running());
        QVERIFY(main.Timer2()->isActive());
        QCOMPARE(main.Timer2()->interval(), 2000);
        QVERIFY(!ui->edDetectInterval->isEnabled());
    }

    void unwritableSessionFolderSavesNothing() {
        Room r(0, "[Motion Detection]\r\nInterval=3600\r\n");
        r.write(SessionName, "in the way"); // a file where the session folder should go
        TMain& main = r.openCamera(false);
        r.click();
        QVERIFY(main.motion()->running());
        VERIFY_NO_BOXES(r.desk); // the failed creation is not reported
        CHECK(r.forcedDetection());
        CHECK(r.forcedDetection());
        QCOMPARE(r.desk.shown.size(), 2); // each detection's save fails on its own
        QCOMPARE(r.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(r.listItems(), QStringList());
        QCOMPARE(main.motion()->MotionDetectCount, 0);
        QCOMPARE(main.motion()->MotionImageCounter, 0);
        QCOMPARE(r.ui()->lblDetectCount->text(), detectCountText(0));
        QCOMPARE(r.read(SessionName), QByteArray("in the way"));
        // The session goes on and stops normally.
        r.click();
        QCOMPARE(r.ui()->BitBtnMotion->text(), QString("Start"));
    }

    void mailThatCannotStartKeepsTheImages_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("attempts");
        // No SMTP host: the client refuses to start, before anything goes out.
        QTest::newRow("notification")
            << QByteArray("[Protocol Settings]\r\nNotification=1\r\n") << 1;
        QTest::newRow("image mail") << QByteArray("[Motion Detection]\r\nRemote_Save=1\r\n"
                                                  "[Protocol Settings]\r\nEmailOnly=1\r\n")
                                    << 2;
    }
    void mailThatCannotStartKeepsTheImages() {
        QFETCH(QByteArray, settings);
        QFETCH(int, attempts);
        Room r(0, settings);
        TMain& main = r.openCamera();
        r.click();
        CHECK(r.twoDetections());
        CHECK(r.verifyImages(SessionName, 2, true));
        // Reported like a mail that failed on its way, once per attempt.
        VERIFY_NO_BOXES(r.desk);
        const QStringList log = main.errorLog().lines();
        QCOMPARE(countOf(log, " :   SMTP error = "), attempts);
        QVERIFY(!main.statusPanel(1)->text().isEmpty());
        QVERIFY(log.last().endsWith(main.statusPanel(1)->text()));
        QVERIFY(smtpIdle(main));
        r.click();
    }
};

// ---- against the real servers -------------------------------------------------------------

namespace {

QByteArray ftpSettings(const FtpHost& host, bool passive) {
    return "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
           "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=" +
           QByteArray::number(host.port) + "\r\nUser_ID=ostrel\r\nPassword=s3cret\r\n" +
           (passive ? "Passive_Mode=1\r\n" : "");
}

QByteArray mailSettings(const MailServer& mails) {
    return "[Email Settings]\r\nSMTP_Host=127.0.0.1\r\nSMTP_Port=" +
           QByteArray::number(mails.server.port()) +
           "\r\nUser_Address=camera@example.org\r\nDestination_Address=owner@example.org\r\n";
}

void verifyAttachment(const QJsonObject& mail, const QString& name, const QByteArray& data) {
    const QJsonArray attachments = mail["attachments"].toArray();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments[0].toObject()["filename"].toString(), name);
    QCOMPARE(QByteArray::fromHex(attachments[0].toObject()["data"].toString().toLatin1()), data);
}

} // namespace

class TestMotionSessionNet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void ftpUploadsWhatItFindsReady() {
        FtpHost host;
        QVERIFY(host.start());
        Room r(0, ftpSettings(host, true));
        TMain& main = r.openCamera();
        auto* ftp = main.FtpClient();
        QCOMPARE(ftp->Tag(), 0);
        const QStringList logBefore = main.errorLog().lines();

        r.click();
        QVERIFY(main.motion()->running());
        QCOMPARE(ftp->Tag(), 0); // the connect has only started
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY(ftp->Connected());

        r.desk.clock = Start.addSecs(32);
        CHECK(r.forcedDetection());
        QCOMPARE(ftp->Tag(), 0);
        QCOMPARE(ftp->HostFileName(), SessionName + "_10.16.02.jpg");
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);

        // The second upload runs when the third detection comes: the third is kept only here.
        r.desk.clock = Start.addSecs(33);
        CHECK(r.freshFrame());
        CHECK(r.forcedDetection());
        r.desk.clock = Start.addSecs(34);
        CHECK(r.forcedDetection());
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        CHECK(r.verifyImages(SessionName, 3));
        const QString local = SessionName + "/";
        const QStringList remote{SessionName + "_10.16.02.jpg", SessionName + "_10.16.03.jpg"};
        QCOMPARE(host.files(), remote);
        QCOMPARE(host.file(remote[0]), r.read(local + "image001.jpg"));
        QCOMPARE(host.file(remote[1]), r.read(local + "image002.jpg"));
        QVERIFY(host.file(remote[0]) != host.file(remote[1]));

        // Two detections within the same second share the remote name.
        r.desk.clock = Start.addSecs(40);
        CHECK(r.forcedDetection());
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        CHECK(r.forcedDetection());
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QCOMPARE(host.file(SessionName + "_10.16.10.jpg"), r.read(local + "image005.jpg"));
        QCOMPARE(host.files().size(), 3);

        r.click();
        QVERIFY(!ftp->Connected()); // quit at once
        QCOMPARE(ftp->Tag(), 0);
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(main.errorLog().lines(), logBefore);
        QCOMPARE(main.statusPanel(1)->text(), QString());
    }

    void stopDuringUploadLeavesTheClientUsable() {
        FtpHost host;
        QVERIFY(host.start());
        Room r(0, ftpSettings(host, true));
        TMain& main = r.openCamera();
        auto* ftp = main.FtpClient();
        auto stopAndSettle = [&] {
            r.click();
            QVERIFY(!main.motion()->running());
            QTRY_VERIFY_WITH_TIMEOUT(ftp->Ready(), 15000);
            QTest::qWait(100);
            VERIFY_NO_BOXES(r.desk);
        };
        auto startAt = [&](int seconds) {
            r.desk.clock = Start.addSecs(seconds);
            r.click();
            QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
            VERIFY_NO_BOXES(r.desk);
        };

        // Stopped while the connect is under way; the next session connects afresh.
        r.click();
        CHECK(stopAndSettle());
        CHECK(startAt(60));

        // Stopped while an upload is under way: the image still arrives whole.
        r.desk.clock = Start.addSecs(61);
        CHECK(r.forcedDetection());
        QCOMPARE(ftp->Tag(), 0);
        CHECK(stopAndSettle());
        QCOMPARE(host.file("12-05-26_10.16.30_10.16.31.jpg"),
                 r.read("12-05-26_10.16.30/image001.jpg"));

        CHECK(startAt(120));
        r.desk.clock = Start.addSecs(125);
        CHECK(r.forcedDetection());
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY(QFile::exists(host.root.filePath("12-05-26_10.17.30_10.17.35.jpg")));
        r.click();
        QVERIFY(!ftp->Connected());
        VERIFY_NO_BOXES(r.desk);
    }

    // One FTP failure, whether the host is down at Start or drops the idle session later
    // (as servers do after their idle timeout): reported once, images kept, no upload
    // tried after it.
    void ftpFailureKeepsImagesLocal_data() {
        QTest::addColumn<bool>("goneWhileIdle");
        QTest::newRow("down at start") << false;
        QTest::newRow("gone while idle") << true;
    }
    void ftpFailureKeepsImagesLocal() {
        QFETCH(bool, goneWhileIdle);
        FtpHost host;
        QVERIFY(host.start());
        Room r(0, ftpSettings(host, false) + "[Other Settings]\r\nErrorBeep=1\r\n");
        if (!goneWhileIdle) host.stop(); // nothing listens there now
        TMain& main = r.openCamera();
        auto* ftp = main.FtpClient();
        const int beepsBefore = r.desk.beeps;

        r.click();
        if (goneWhileIdle) {
            QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
            host.stop();
            QTRY_VERIFY_WITH_TIMEOUT(!ftp->Connected(), 15000);
            QCOMPARE(ftp->Tag(), 1);
            CHECK(r.twoDetections());
            QTest::qWait(200);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 2, 15000);
            r.desk.clock = Start.addSecs(10);
            CHECK(r.forcedDetection());
            QTest::qWait(200);
            CHECK(r.forcedDetection());
            QTest::qWait(200);
        }
        QCOMPARE(ftp->Tag(), 2);
        CHECK(r.verifyImages(SessionName, 2, true));
        VERIFY_NO_BOXES(r.desk);
        QVERIFY(!ftp->ErrorMessage().isEmpty());
        QCOMPARE(main.statusPanel(1)->text(), ftp->ErrorMessage());
        QCOMPARE(r.desk.beeps, beepsBefore + 1);
        const QStringList log = QString::fromLatin1(r.read("Error.log")).split("\r\n");
        QCOMPARE(countOf(log, " :   FTP error = "), 1);
        QVERIFY(log.contains("12/05/26 10:15:30 :   FTP error = " + ftp->ErrorMessage()));

        r.click();
        QCOMPARE(ftp->Tag(), 0);
        VERIFY_NO_BOXES(r.desk);
    }

    void firstDetectionIsNotifiedOnce() {
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Room r(0, "[Motion Detection]\r\nInterval=3600\r\n[Protocol Settings]\r\nNotification=1\r\n"
                  "[Other Settings]\r\nCamera=Shop\r\n" +
                      mailSettings(mails));
        TMain& main = r.openCamera();
        auto* motion = main.motion();
        auto* smtp = main.SmtpClient();
        QVERIFY(r.ui()->rbLocalSave->isChecked());

        r.click();
        r.desk.clock = Start.addSecs(32);
        CHECK(r.forcedDetection());
        QVERIFY(motion->MotionNotified);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(1)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        const QJsonObject m = mails.parsed(1);
        const MailText composed = notificationMail("Ostrel", "Shop", Start.addSecs(32));
        QCOMPARE(m["subject"].toString(), composed.subject);
        QCOMPARE(m["text"].toString(), composed.lines.join('\n') + '\n');
        QVERIFY(m["attachments"].toArray().isEmpty());
        QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toArray(), QJsonArray{"owner@example.org"});
        // Local save: nothing went to an FTP host.
        QVERIFY(!main.FtpClient()->Connected());

        CHECK(r.forcedDetection());
        QTest::qWait(300);
        CHECK(r.forcedDetection());
        QTest::qWait(500);
        QCOMPARE(mails.mails(), 1);
        QVERIFY(smtpIdle(main));
        QCOMPARE(motion->MotionDetectCount, 3);

        // A new session may notify again, but not when the client is busy with another
        // mail: that mail goes out as it was, and the session counts as notified.
        r.click();
        QVERIFY(!motion->MotionNotified);
        r.desk.clock = Start.addSecs(3600);
        r.click();
        smtp->setHdrSubject("sent by hand");
        smtp->setMailMessage({"hand"});
        smtp->EmailFiles().clear();
        smtp->Connect();
        CHECK(r.forcedDetection());
        QVERIFY(motion->MotionNotified);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(2)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        const QJsonObject hand = mails.parsed(2);
        QCOMPARE(hand["subject"].toString(), QString("sent by hand"));
        QCOMPARE(hand["text"].toString(), QString("hand\n"));
        CHECK(r.forcedDetection());
        QTest::qWait(500);
        QCOMPARE(mails.mails(), 2);

        // The session after that notifies again.
        r.click();
        r.desk.clock = Start.addSecs(7200);
        r.click();
        CHECK(r.forcedDetection());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(3)), 20000);
        QCOMPARE(mails.parsed(3)["subject"].toString(), composed.subject);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        r.click();
        VERIFY_NO_BOXES(r.desk);
    }

    void emailModeMailsEveryImageTheClientCanTake() {
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Room r(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                  "[Protocol Settings]\r\nEmailOnly=1\r\nNotification=1\r\n"
                  "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=1\r\n"
                  "[Other Settings]\r\nCamera=Shop\r\n" +
                      mailSettings(mails));
        TMain& main = r.openCamera();
        auto* ui = r.ui();
        auto* motion = main.motion();
        QVERIFY(main.EmailOnly);

        r.click();
        QVERIFY(motion->running());
        QVERIFY(!main.FtpClient()->Connected()); // no FTP in e-mail mode
        QCOMPARE(main.FtpClient()->Tag(), 0);

        // The second detection finds the first mail still under way.
        r.desk.clock = Start.addSecs(32);
        CHECK(r.forcedDetection());
        r.desk.clock = Start.addSecs(33);
        CHECK(r.forcedDetection());
        QCOMPARE(motion->MotionDetectCount, 2);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(1)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        QTest::qWait(300);
        QCOMPARE(mails.mails(), 1);
        // The texts themselves are tested with imageMail.
        auto body = [](const QString& time) {
            const MailText t = imageMail("Ostrel", "Shop", SessionName, SessionName + time);
            return std::make_pair(t.subject, t.lines.join('\n') + '\n');
        };
        QJsonObject m = mails.parsed(1);
        QCOMPARE(std::make_pair(m["subject"].toString(), m["text"].toString()),
                 body("_10.16.02.jpg"));
        CHECK(verifyAttachment(m, "image001.jpg", r.read(SessionName + "/image001.jpg")));
        QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toArray(), QJsonArray{"owner@example.org"});

        r.desk.clock = Start.addSecs(40);
        CHECK(r.forcedDetection());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(2)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        m = mails.parsed(2);
        QCOMPARE(std::make_pair(m["subject"].toString(), m["text"].toString()),
                 body("_10.16.10.jpg"));
        CHECK(verifyAttachment(m, "image003.jpg", r.read(SessionName + "/image003.jpg")));
        // The notification belongs to FTP mode only.
        QVERIFY(!motion->MotionNotified);
        QCOMPARE(mails.mails(), 2);

        // Stopping leaves what e-mail mode keeps unavailable as it was.
        r.click();
        QVERIFY(!ui->btnWebMgt->isEnabled());
        QVERIFY(!ui->menuRemoteMgt->isEnabled());
        QVERIFY(!ui->GroupBox3->isEnabled());
        QVERIFY(ui->GroupBox2->isEnabled());
        QVERIFY(ui->menuNetwork->isEnabled());
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(main.errorLog().lines().filter("SMTP error").size(), 0);
    }
};

#ifdef OSTREL_MOTION_NET
QTEST_MAIN(TestMotionSessionNet)
#else
QTEST_MAIN(TestMotionSession)
#endif
#include "tst_motionsession.moc"
