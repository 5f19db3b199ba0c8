// Detection sessions in the main window, in a temporary program folder with the virtual
// camera as driver 0: the start/stop command, the start delay, the images of real and
// forced detections, and (run as "tst_motionsession net") the uploads and mails against
// the real FTP and SMTP servers of tests/peers.
//
// The checks are driven by calling Timer2Timer directly. A detection is forced by moving
// the reference (LastFrameSum) 10 % away from the scene's sum just before a check, so the
// still room's next frame differs by about 9 % (similarity 91: a detection with the
// default sliders).
#include "MainFixture.h"
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "app/MotionController.h"
#include "app/WebsiteController.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "motion/DetectionSession.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QDateTime Start(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString SessionName = QStringLiteral("12-05-26_10.15.30");

// The mails a user receives, word for word: the notification of a session's first
// detection at `time` on 12/05/26, and the image mail of e-mail mode for a detection at `time`.
const QString NotificationSubject = QStringLiteral("Ostrel: motion detection notification.");
QString notificationText(const QString& time) {
    return " \nOstrel: motion detection notification - Camera: Shop\n \n"
           "Movement was detected on 12/05/26 " +
           time +
           " (local system time).\n \n"
           "These are the date and time of the first detection only.\n"
           "Subsequent detections during the same session are not notified.\n"
           "Please check the image files uploaded to your remote FTP server.\n";
}
const QString ImageSubject =
    QStringLiteral("Ostrel Shop motion detection - Session: 12-05-26_10.15.30");
QString imageText(const QString& time) {
    return "Ostrel - Camera: Shop\n(Date__Session Start__Time)\n12-05-26_10.15.30_" + time +
           ".jpg\n";
}

QStringList imageNames(int n) {
    QStringList names;
    for (int i = 1; i <= n; ++i)
        names << QStringLiteral("image%1.jpg").arg(i, 3, 10, QChar('0'));
    return names;
}

// The virtual camera, checks every `interval` s unless driven here, the clock at Start.
struct Room : Program {
    explicit Room(const QString& interval = "3600", int figure = 0) {
        useCamera(figure);
        set("Motion Detection", "Interval", interval);
        desk.clock = Start;
    }
    void click() { ui()->BitBtnMotion->click(); }
    MotionController& motion() const { return *main->motion(); }
    // The button, and the check timer with its interval in seconds when it runs.
    QString state() const {
        const QTimer* timer = main->Timer2();
        return ui()->BitBtnMotion->text() +
               (timer->isActive() ? QStringLiteral(" on %1").arg(timer->interval() / 1000)
                                  : " off");
    }
    QStringList sessionFolders() const {
        QStringList all = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const char* fixed : {"Snapshots", "Videos", "Downloaded Images", "Server"})
            all.removeAll(fixed);
        return all;
    }
    QStringList images(const QString& session) const {
        return QDir(path + session).entryList({"*.jpg"}, QDir::Files, QDir::Name);
    }
    // Moves the reference away from the scene at `second` s after Start, then runs one
    // check; with `fresh`, after the camera's next frame, so that the picture differs
    // from the last one however slowly the build runs.
    void detect(int second, bool fresh = false) {
        desk.clock = Start.addSecs(second);
        QSignalSpy shown(main->VideoCap1(), &TVideoCapture::frameShown);
        if (fresh) QTRY_COMPARE_GE_WITH_TIMEOUT(shown.count(), 2, 5000); // one may be on its way
        MotionDetector& d = motion().detector();
        QCOMPARE_GT(d.LastFrameSum(), 1000000);
        d.setLastFrameSum(quint32(double(d.LastFrameSum()) * 1.1));
        motion().Timer2Timer();
    }
    // The session's n images, in the list, the count and the folder, each a different
    // JPEG of the camera's size.
    void verifyImages(const QString& session, int n) {
        const QStringList names = imageNames(n);
        QCOMPARE(motion().MotionDetectCount, n);
        QCOMPARE(ui()->ListBox1->count(), n);
        if (n) QCOMPARE(ui()->ListBox1->item(n - 1)->text(), names.last());
        QCOMPARE(ui()->lblDetectCount->text(),
                 QStringLiteral(" Latest Motion Detection Count: %1 ").arg(n));
        QCOMPARE(images(session), names);
        QSet<QByteArray> different;
        for (const QString& name : names) {
            QCOMPARE(QImage(path + session + "/" + name, "JPG").size(),
                     QSize(VirtualCamera::Width, VirtualCamera::Height));
            different.insert(read(session + "/" + name));
        }
        QCOMPARE(different.size(), n);
    }
};

// Notification on for camera "Shop", mailed through `mails` to owner@example.org.
void notifyThrough(Room& r, const MailServer& mails) {
    r.set("Protocol Settings", "Notification", "1");
    r.set("Other Settings", "Camera", "Shop");
    mails.configure(r);
}

bool smtpIdle(TMain& main) {
    return main.SmtpClient()->Ready() && !main.SmtpClient()->Connected();
}

} // namespace

// ---- without servers ---------------------------------------------------------------------

class TestMotionSession : public QObject {
    Q_OBJECT
private slots:
    void sessionImagesAndRestart() {
        Room r("4");
        TMain& main = r.open();
        auto& motion = r.motion();
        r.ui()->ListBox1->addItem("left over");
        motion.detector().setLastFrameSum(7);

        r.click();
        QCOMPARE(r.state(), "Stop on 4");
        CHECK(verifyLook(main));
        QCOMPARE(r.sessionFolders(), QStringList{SessionName});
        QCOMPARE_GT(motion.detector().LastFrameSum(), 1000000); // seeded from a real frame
        CHECK(r.verifyImages(SessionName, 0));

        // The still room: fresh frames, only sensor noise and the clock change.
        for (int tick = 0; tick < 45; ++tick) {
            QVERIFY(newFrame(*main.VideoCap1()));
            motion.Timer2Timer();
        }
        CHECK(r.verifyImages(SessionName, 0));

        CHECK(r.detect(32));
        CHECK(r.detect(33, true));
        CHECK(r.verifyImages(SessionName, 2));

        // Stop: the window comes back, the list and count stay for browsing.
        motion.detector().setLastFrameSum(7);
        r.ui()->menuMotion->trigger();
        QCOMPARE(r.state(), "Start off");
        CHECK(verifyLook(main));
        CHECK(r.detect(34)); // seeded on stop as well; a check after the stop does nothing
        CHECK(r.verifyImages(SessionName, 2));

        // Start again: a new folder (its name without a time at midnight), numbers from 001.
        r.desk.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0));
        r.click();
        QCOMPARE(r.sessionFolders(), QStringList({SessionName, "12-06-26"}));
        CHECK(r.verifyImages("12-06-26", 0));
        CHECK(r.detect(49479)); // 00:00:09
        CHECK(r.verifyImages("12-06-26", 1));
        QCOMPARE(motion.MotionRemoteName, QString("12-06-26_00.00.09.jpg"));
        QCOMPARE(r.images(SessionName), imageNames(2));
        QCOMPARE(r.desk.beeps, 0);
        QVERIFY(r.desk.tones.isEmpty()); // no sounds unless asked for
        VERIFY_NO_BOXES(r.desk);
    }

    // The delay runs on its timer (each beat called here, never waited out); the window
    // stays as it was and a second command is ignored. A tone takes 800 ms and the delay
    // ends at the first test after its time is up; without tones it still waits.
    void startDelay_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<quint32>("firstTick");
        QTest::addColumn<int>("tones"); // -1: silent
        QTest::newRow("0") << 0 << 0u << 0;
        QTest::newRow("4") << 4 << 0u << 5;
        QTest::newRow("3 across the tick wrap") << 3 << 0xFFFFFE00u << 4;
        QTest::newRow("2 silent") << 2 << 0u << -1;
    }
    void startDelay() {
        QFETCH(int, delay);
        QFETCH(quint32, firstTick);
        QFETCH(int, tones);
        Room r;
        r.set("Motion Detection", "Start_Delay", QString::number(delay));
        r.set("Motion Detection", "Delay_Sound", tones < 0 ? "0" : "1");
        r.desk.ticks = firstTick;
        r.open({}, false);
        r.click();
        int beats = 0;
        for (; r.motion().delaying(); ++beats) {
            QCOMPARE_LT(beats, 100);
            QCOMPARE(r.state(), "Start off");
            r.click();
            if (tones < 0) r.desk.ticks += 1000; // a second per beat
            r.motion().StartDelayTick();
        }
        QCOMPARE(beats > 0, delay > 0);
        if (tones < 0) QCOMPARE(beats, delay);
        QCOMPARE(r.desk.tones.size(), std::max(tones, 0));
        for (const auto& tone : r.desk.tones)
            QCOMPARE(qMakePair(tone.frequencyHz, tone.milliseconds), qMakePair(1100, 800));
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(r.state(), "Stop on 3600");
        QCOMPARE(r.sessionFolders().size(), 1);
    }

    // An empty delay or interval field stops the start with an error; interval 0 runs a
    // session without checks.
    void intervalAndDelayFields() {
        Room r("3600", 3);
        r.open({}, false);
        auto* ui = r.ui();
        ui->edDelay->setText(""); // the folder is made, then the command stops
        r.click();
        QCOMPARE(r.sessionFolders(), QStringList{SessionName});
        ui->edDelay->setText("0");
        ui->edDetectInterval->setText("");
        ui->ListBox1->addItem("old");
        r.click();
        QCOMPARE(r.desk.shown.size(), 2);
        QCOMPARE(r.desk.shown[0].kind, MsgKind::Error);
        QCOMPARE(r.desk.shown[1].kind, MsgKind::Error);
        QCOMPARE(ui->ListBox1->count(), 0);
        QVERIFY(!r.motion().running());
        QCOMPARE(r.state(), "Start off");

        ui->edDetectInterval->setText("0");
        r.click();
        QVERIFY(r.motion().running());
        QCOMPARE(r.state(), "Stop off"); // no check timer
    }

    void unwritableSessionFolderSavesNothing() {
        Room r;
        r.write(SessionName, "in the way"); // a file where the session folder should go
        r.open({}, false);
        r.click();
        VERIFY_NO_BOXES(r.desk); // the failed creation is not reported
        CHECK(r.detect(1));
        CHECK(r.detect(2, true));
        QCOMPARE(r.desk.shown.size(), 2); // each detection's save fails on its own
        QCOMPARE(r.desk.shown.first().kind, MsgKind::Error);
        // The box and the log name the system's cause.
        const QString cause = r.desk.shownTexts().last();
        QVERIFY2(cause.endsWith(". Not a directory"), qPrintable(cause));
        QVERIFY(r.main->errorLog().lines().last().endsWith(" :   " + cause));
        CHECK(r.verifyImages(SessionName, 0));
        QCOMPARE(r.read(SessionName), QByteArray("in the way"));
        r.click(); // the session went on and stops normally
        QVERIFY(!r.motion().running());
    }

    // Too little room: older sessions make way (never the running one), then nothing is
    // saved while the detections count on; the shortage is logged and mailed once, and a
    // later one again after room came back.
    void fullDiskDeletesOldSessionsThenSavesNothing() {
        Room r;
        r.set("Email Settings", "SMTP_Host", "127.0.0.1");
        r.set("Email Settings", "SMTP_Port", "none"); // the mail fails at once, and says so
        r.set("Email Settings", "Destination_Address", "owner@example.org");
        const QStringList old{motionSessionName(Start.addDays(-2)),
                              motionSessionName(Start.addDays(-1))};
        for (const QString& name : old)
            QVERIFY(QDir(r.path).mkpath(name + "/sub"));
        int base = 100; // each old session still there holds 150 MB
        r.freeMb.mb = [&] { return base + 150 * (2 - int(r.sessionFolders().size()) + 1); };
        TMain& main = r.open();
        const auto logged = [&](const QString& text) {
            return main.errorLog().lines().filter(" :   Disk space: " + text).size();
        };
        r.click();
        CHECK(r.detect(1));
        QCOMPARE(r.sessionFolders(), QStringList{SessionName});
        for (const auto& [name, mb] : {std::pair{old[0], 100}, {old[1], 250}})
            QCOMPARE(logged(QString("deleted the oldest motion session %1 (%2 MB free, 500 MB "
                                    "wanted)")
                                .arg(name)
                                .arg(mb)),
                     1);
        QCOMPARE(r.images(SessionName), QStringList());
        QCOMPARE(main.statusPanel(1)->text(),
                 "Motion picture not saved: only 400 MB free on the disk, 500 MB wanted");
        QCOMPARE(main.SmtpClient()->HdrSubject(), "Ostrel: Notification of low disk space.");
        QCOMPARE(main.SmtpClient()->RcptName(), QStringList{"owner@example.org"});
        QCOMPARE(main.errorLog().lines().filter(" :   SMTP error = ").size(), 1);
        main.SmtpClient()->setHdrSubject("");
        CHECK(r.detect(2, true));
        QCOMPARE(r.motion().MotionDetectCount, 2);
        QCOMPARE(logged("only 400 MB free"), 1);
        QCOMPARE(main.SmtpClient()->HdrSubject(), "");

        base = 500;
        CHECK(r.detect(3, true));
        QCOMPARE(r.images(SessionName), imageNames(1));
        QCOMPARE(logged("saving resumed"), 1);
        base = 0;
        CHECK(r.detect(4, true));
        QCOMPARE(logged("only 300 MB free"), 1);
        QCOMPARE(main.SmtpClient()->HdrSubject(), "Ostrel: Notification of low disk space.");
        QCOMPARE(r.motion().MotionDetectCount, 4);
        QCOMPARE(r.images(SessionName), imageNames(1));
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(r.desk.beeps, 0); // the failed mails make no sound unless asked to
    }

    // No SMTP host: the client refuses to start, before anything goes out; reported like
    // a mail that failed on its way, once per attempt.
    void mailThatCannotStartKeepsTheImages_data() {
        QTest::addColumn<bool>("emailOnly");
        QTest::newRow("notification") << false;
        QTest::newRow("image mail") << true;
    }
    void mailThatCannotStartKeepsTheImages() {
        QFETCH(bool, emailOnly);
        Room r;
        r.set("Motion Detection", "Detection_Sound", "1");
        r.set("Other Settings", "ErrorBeep", "1");
        r.set("Protocol Settings", emailOnly ? "EmailOnly" : "Notification", "1");
        if (emailOnly) r.set("Motion Detection", "Remote_Save", "1");
        TMain& main = r.open();
        r.click();
        CHECK(r.detect(1));
        CHECK(r.detect(2, true));
        CHECK(r.verifyImages(SessionName, 2));
        VERIFY_NO_BOXES(r.desk);
        // The detection sound, once per detection, and Beep on Errors once per failed mail.
        QCOMPARE(r.desk.beeps, emailOnly ? 4 : 3);
        const QStringList log = main.errorLog().lines();
        QCOMPARE(log.filter(" :   SMTP error = ").size(), emailOnly ? 2 : 1);
        QVERIFY(!main.statusPanel(1)->text().isEmpty());
        QVERIFY(log.last().endsWith(main.statusPanel(1)->text()));
        QVERIFY(smtpIdle(main));
    }
};

// ---- against the real servers -------------------------------------------------------------

class TestMotionSessionNet : public QObject {
    Q_OBJECT
private slots:
    // Each detection uploads when the client is ready; a stop during the connect or an
    // upload leaves the client usable for the next session.
    void ftpUploadsWhatItFindsReady() {
        FtpHost host;
        QVERIFY(host.start());
        Room r;
        r.set("Motion Detection", "Remote_Save", "1");
        r.set("Other Settings", "ErrorBeep", "1");
        r.useFtp(host);
        TMain& main = r.open();
        auto* ftp = main.FtpClient();
        auto startAt = [&](int second) {
            r.desk.clock = Start.addSecs(second);
            r.click();
            QCOMPARE(ftp->Tag(), 0); // the connect has only started
            QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
            QVERIFY(ftp->Connected());
        };
        auto stop = [&] {
            r.click();
            QVERIFY(!main.motion()->running());
            QTRY_VERIFY_WITH_TIMEOUT(!ftp->Connected(), 15000); // quit at once
            QTRY_VERIFY(ftp->Ready());
        };
        auto uploaded = [&] { QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000); };

        r.desk.clock = Start.addSecs(-60);
        r.click(); // stopped while the connect is under way
        CHECK(stop());
        CHECK(startAt(0));
        CHECK(r.detect(32));
        QCOMPARE(ftp->Tag(), 0);
        CHECK(uploaded());
        // The second upload runs when the third detection comes: the third is kept only here.
        CHECK(r.detect(33, true));
        CHECK(r.detect(34));
        CHECK(uploaded());
        QCOMPARE(r.images(SessionName), imageNames(3));
        const QStringList remote{SessionName + "_10.16.02.jpg", SessionName + "_10.16.03.jpg"};
        QCOMPARE(QDir(host.root.path()).entryList(QDir::Files, QDir::Name), remote);
        QCOMPARE(host.file(remote[0]), r.read(SessionName + "/image001.jpg"));
        QCOMPARE(host.file(remote[1]), r.read(SessionName + "/image002.jpg"));

        // Stopped while an upload is under way: the image still arrives whole.
        CHECK(r.detect(41, true));
        QCOMPARE(ftp->Tag(), 0);
        CHECK(stop());
        QCOMPARE(host.file(SessionName + "_10.16.11.jpg"), r.read(SessionName + "/image004.jpg"));
        CHECK(startAt(120));
        CHECK(r.detect(125));
        CHECK(uploaded());
        QVERIFY(QFile::exists(host.root.filePath("12-05-26_10.17.30_10.17.35.jpg")));

        // While another window's request waits on the client, neither a detection nor a
        // website update tick uses it; both say so, and the image stays here.
        QStringList said;
        QTimer::singleShot(0, &main, [&] {
            r.detect(130);
            said << main.statusPanel(1)->text();
            main.website()->Timer1Timer();
            said << main.statusPanel(1)->text();
        });
        ftp->setLocalFileName(r.path + "listing.txt");
        QVERIFY(ftp->Ls());
        QCOMPARE(said,
                 QStringList({"Remote save of image002.jpg skipped: the FTP connection is busy",
                              "Website update skipped: the FTP connection is busy"}));
        QVERIFY(!QFile::exists(host.root.filePath("12-05-26_10.17.30_10.17.40.jpg")));
        QVERIFY(QFile::exists(r.path + "12-05-26_10.17.30/image002.jpg"));
        main.statusPanel(1)->clear();
        CHECK(stop());
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(main.errorLog().lines(), QStringList{""});
        QCOMPARE(main.statusPanel(1)->text(), QString());

        // A host that drops the idle session (as servers do after their idle timeout): the
        // failed upload is reported once, with the beep asked for; the images stay, and no
        // upload is tried after it.
        const int beeps = r.desk.beeps;
        CHECK(startAt(180));
        host.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!ftp->Connected(), 15000);
        QCOMPARE(ftp->Tag(), 1);
        CHECK(r.detect(181));
        CHECK(r.detect(182, true));
        QCOMPARE(ftp->Tag(), 2); // no upload begun
        CHECK(r.verifyImages("12-05-26_10.18.30", 2));
        VERIFY_NO_BOXES(r.desk);
        QVERIFY(!ftp->ErrorMessage().isEmpty());
        QCOMPARE(main.statusPanel(1)->text(), ftp->ErrorMessage());
        QCOMPARE(r.desk.beeps, beeps + 1);
        const QStringList log = QString::fromLatin1(r.read("Error.log")).split("\r\n");
        QCOMPARE(log.filter(" :   FTP error = "),
                 QStringList{"12/05/26 10:18:31 :   FTP error = " + ftp->ErrorMessage()});
        r.click();
        QCOMPARE(ftp->Tag(), 0);
    }

    // A camera unplugged during a session and plugged in again on another node: the loss
    // waits for the notification under way and both are mailed, no check fails meanwhile,
    // the camera is found by its bus as soon as its node appears and opened again, and the
    // session goes on. A session notifies its first detection only, and a local save uses
    // no FTP.
    void cameraGoesAndComesBack() {
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Room r;
        notifyThrough(r, mails);
        r.set("FTP Settings", "FTP_Host", "127.0.0.1");
        r.write("vcap.sif", "[Driver]\r\nindex=1\r\n");
        const QString bus = "usb-0000:00:14.0-1";
        auto v4l2 = std::make_shared<ScriptedV4l2>();
        v4l2->folder = r.path + "dev";
        QVERIFY(QDir().mkdir(v4l2->folder));
        v4l2->addWebcam("Desk Camera", bus);
        TMain& main = r.open(systemDrivers(r.path, v4l2));
        auto* video = main.VideoCap1();
        QVERIFY(video->DriverOpen());
        const QStringList owner{"owner@example.org"};

        r.click();
        CHECK(r.detect(1, true));
        v4l2->cameras.clear();
        emit video->OnError(ENODEV, "Capture device was not detected."); // as the pipeline does
        QVERIFY(!video->DriverOpen());
        QVERIFY(main.cameraLost());
        r.motion().Timer2Timer();      // skipped, no box
        main.website()->Timer1Timer(); // no old picture published under a new time
        QCOMPARE(main.statusPanel(1)->text(), "Website update skipped: the camera is away");
        CHECK(mails.verify(1, NotificationSubject, notificationText("10:15:31"), owner));
        CHECK(mails.verify(2, "Ostrel: camera lost.",
                           " \nOstrel: camera lost - Camera: Shop\n \n"
                           "The capture device \"Desk Camera\" went away on 12/05/26 10:15:31 "
                           "(local system time).\n"
                           "No pictures are taken until it comes back; Ostrel opens it again by "
                           "itself and will tell you.\n",
                           owner));

        // Plugged in after two tries found nothing: the new node brings it back.
        const int listings = v4l2->listings;
        QTRY_COMPARE_GE_WITH_TIMEOUT(v4l2->listings, listings + 2, 20000);
        r.desk.clock = Start.addSecs(60);
        auto again = v4l2->addWebcam("Desk Camera", bus);
        again->path = "/dev/video4";
        again->identity = "2";
        r.write("dev/video4", "");
        QTRY_VERIFY_WITH_TIMEOUT(video->DriverOpen(), 20000);
        QVERIFY(!main.cameraLost());
        QVERIFY(video->VideoPreview());
        CHECK(mails.verify(3, "Ostrel: camera back.",
                           " \nOstrel: camera back - Camera: Shop\n \n"
                           "The capture device \"Desk Camera\" is back since 12/05/26 10:16:30 "
                           "(local system time).\n"
                           "The live picture, a running detection session and the website "
                           "update go on.\n",
                           owner));
        r.motion().Timer2Timer(); // the new reference: no detection
        QCOMPARE(r.motion().MotionDetectCount, 1);
        CHECK(r.detect(61, true));
        QCOMPARE(r.images(SessionName), imageNames(2));
        QVERIFY(r.motion().running());
        const QString log = QString::fromLatin1(r.read("Error.log"));
        QVERIFY(log.contains("12/05/26 10:15:31 :   Camera lost: Desk Camera. Waiting for it to "
                             "come back.\r\n"));
        QVERIFY(log.contains("12/05/26 10:16:30 :   Camera back: Desk Camera\r\n"));
        VERIFY_NO_BOXES(r.desk);
        QCOMPARE(main.FtpClient()->Tag(), 0);
        r.click();
        r.click();
        CHECK(r.detect(3600)); // the next session's first detection
        CHECK(mails.verify(4, NotificationSubject, notificationText("11:15:30"), owner));
    }

    // A provider's account (STARTTLS, a login, the trusted certificate): in e-mail mode every
    // image goes out, the second after the first, which it finds under way; no notification,
    // no FTP.
    void emailModeMailsEveryImage() {
        QTemporaryDir certs;
        const QString fingerprint = makeCertificate(certs.path());
        QVERIFY(!fingerprint.isEmpty());
        MailServer mails({"--starttls", certs.filePath("cert.pem"), certs.filePath("key.pem"),
                          "--auth", "cam", "s3cret"});
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Room r;
        notifyThrough(r, mails);
        r.set("Email Settings", "Security", "STARTTLS");
        r.set("Email Settings", "Certificate_SHA256", fingerprint);
        r.set("Email Settings", "SMTP_UserName", "cam");
        r.set("Email Settings", "SMTP_Password", "s3cret");
        r.set("FTP Settings", "FTP_Host", "127.0.0.1");
        r.set("FTP Settings", "FTP_Port", "1");
        r.set("Motion Detection", "Remote_Save", "1");
        r.set("Protocol Settings", "EmailOnly", "1");
        TMain& main = r.open();
        const QStringList owner{"owner@example.org"};
        r.click();
        CHECK(r.detect(32));
        CHECK(r.detect(33));
        CHECK(mails.verify(1, ImageSubject, imageText("10.16.02"), owner, "image001.jpg",
                           r.read(SessionName + "/image001.jpg")));
        CHECK(mails.verify(2, ImageSubject, imageText("10.16.03"), owner, "image002.jpg",
                           r.read(SessionName + "/image002.jpg")));
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        QCOMPARE(mails.mails(), 2);
        QVERIFY(!r.motion().MotionNotified); // the notification belongs to FTP mode only
        QCOMPARE(main.FtpClient()->Tag(), 0);
        r.click();
        QVERIFY(!r.ui()->btnWebMgt->isEnabled()); // what e-mail mode locks stays locked
        VERIFY_NO_BOXES(r.desk);
        QVERIFY(main.errorLog().lines().filter("SMTP error").isEmpty());
    }
};

// One program for both suites: "net" as the first argument runs the one against the real
// servers, the rest of the arguments are Qt Test's.
int main(int argc, char** argv) {
    QTEST_MAIN_SETUP()
    QTEST_SET_MAIN_SOURCE_PATH
    QCoreApplication::setApplicationName("Ostrel");
    if (argc > 1 && qstrcmp(argv[1], "net") == 0) {
        argv[1] = argv[0];
        TestMotionSessionNet net;
        return QTest::qExec(&net, argc - 1, argv + 1);
    }
    TestMotionSession offline;
    return QTest::qExec(&offline, argc, argv);
}
#include "tst_motionsession.moc"
