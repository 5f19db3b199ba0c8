// Detection sessions in the main window, in a temporary program folder with the virtual
// camera as driver 0: the start/stop command and the window's look, the start delay, the
// images of real and forced detections, and (built as tst_motionsession_net) the uploads
// and mails against the real FTP and SMTP servers of tests/peers.
//
// The checks are driven by calling Timer2Timer directly. A detection is forced by moving
// the reference (LastFrameSum) 10 % away from the scene's sum just before a check, so the
// still room's next frame differs by about 9 % (similarity 91: a detection with the
// default sliders).
#include "../net/Peer.h"
#include "app/MotionController.h"
#include "app/mainf.h"
#include "capture/VideoCapture.h"
#include "capture/VirtualCamera.h"
#include "net/FtpClient.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "platform/ScriptedDesktop.h"
#include "ui_mainf.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace ostrel;

namespace {

const QDateTime Start(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString SessionName = QStringLiteral("12-05-26_10.15.30");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

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

// A driver that is installed but never connects.
class DeadDriver : public CaptureDriver {
public:
    DriverDescription description() const override { return {"Dead Camera", "1.0"}; }
    DriverCaps caps() const override { return {}; }
    SourceSpec source() const override {
        SourceSpec s;
        s.inputFormat = QStringLiteral("video4linux2");
        s.url = QStringLiteral("/dev/ostrel-no-such-camera");
        return s;
    }
};

class DeadOnly : public DriverRegistry {
public:
    std::shared_ptr<CaptureDriver> driver(int index) override {
        return index == 0 ? std::make_shared<DeadDriver>() : nullptr;
    }
};

// A program folder: vcap.sif chooses the virtual camera, Ostrel.sif skips the wizard and
// adds `settings` (INI text of whole sections).
struct ProgramFolder {
    QTemporaryDir dir;
    QString path;
    explicit ProgramFolder(int motionInterval, const QByteArray& settings = {}) {
        path = dir.path() + "/";
        writeFile(path + "vcap.sif", "[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nMotion_Interval=" +
                                         QByteArray::number(motionInterval) + "\r\n");
        // One [Other Settings] section: a second one with the same name would be ignored.
        const QByteArray other = "[Other Settings]\r\n";
        QByteArray text = settings;
        if (text.contains(other))
            text.replace(other, other + "FirstRun=0\r\n");
        else
            text += other + "FirstRun=0\r\n";
        writeFile(path + "Ostrel.sif", text);
    }
    QStringList sessionFolders() const {
        QStringList all = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const char* fixed : {"Snapshots", "Videos", "Downloaded Images"})
            all.removeAll(fixed);
        return all;
    }
    QStringList images(const QString& session) const {
        return QDir(path + session).entryList({"*.jpg"}, QDir::Files, QDir::Name);
    }
};

QStringList listItems(TMain& main) {
    QStringList items;
    for (int i = 0; i < main.ui()->ListBox1->count(); ++i)
        items << main.ui()->ListBox1->item(i)->text();
    return items;
}

// Moves the reference away from the scene, then runs one check.
void forcedDetection(TMain& main) {
    MotionDetector& d = main.motion()->detector();
    QVERIFY(d.LastFrameSum() > 1000000);
    d.setLastFrameSum(quint32(double(d.LastFrameSum()) * 1.1));
    main.motion()->Timer2Timer();
}

void verifyJpeg(const QString& file) {
    const QByteArray bytes = readAll(file);
    QVERIFY2(bytes.startsWith("\xFF\xD8\xFF"), qPrintable(file));
    QImage image;
    QVERIFY2(image.loadFromData(bytes, "JPG"), qPrintable(file));
    QCOMPARE(image.size(), QSize(VirtualCamera::Width, VirtualCamera::Height));
}

int countOf(const QStringList& lines, const QString& part) {
    int n = 0;
    for (const QString& line : lines)
        n += line.contains(part) ? 1 : 0;
    return n;
}

const char* const parseMail = R"(
import email, json, sys
from email import policy
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=policy.default)
text, attachments = None, []
for part in msg.walk():
    if part.is_multipart():
        continue
    if part.get_content_disposition() == 'attachment':
        attachments.append({'filename': part.get_filename(),
                            'data': part.get_payload(decode=True).hex()})
    elif part.get_content_type() == 'text/plain' and text is None:
        text = part.get_content().replace('\r\n', '\n')
print(json.dumps({'subject': str(msg['subject']), 'to': str(msg['to']), 'text': text,
                  'attachments': attachments, 'envelope': json.load(open(sys.argv[2]))}))
)";

struct MailServer {
    QTemporaryDir folder;
    test::PeerServer server;
    MailServer() : server(test::peerScript("smtp_server.py"), {folder.path()}) {}
    QString mail(int n) const { return folder.filePath(QStringLiteral("mail-%1.eml").arg(n)); }
    int mails() const { return QDir(folder.path()).entryList({"mail-*.eml"}, QDir::Files).size(); }
    QJsonObject parsed(int n) const {
        return QJsonDocument::fromJson(
                   test::runPython(
                       parseMail,
                       {mail(n), folder.filePath(QStringLiteral("mail-%1.json").arg(n))}))
            .object();
    }
    QByteArray settings() const {
        return "[Email Settings]\r\nSMTP_Host=127.0.0.1\r\nSMTP_Port=" +
               QByteArray::number(server.port()) +
               "\r\nUser_Address=camera@example.org\r\nDestination_Address=owner@example.org\r\n";
    }
};

bool smtpIdle(TMain& main) {
    return main.SmtpClient()->Ready() && !main.SmtpClient()->Connected();
}

} // namespace

// ---- without servers ---------------------------------------------------------------------

class TestMotionSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void startWithoutDriverAsksForOne() {
        QTemporaryDir dir;
        writeFile(dir.filePath("vcap.sif"), "[Driver]\r\nindex=0\r\n");
        writeFile(dir.filePath("Ostrel.sif"), "[Other Settings]\r\nFirstRun=0\r\n");
        ScriptedDesktop desk;
        TMain main(dir.path(), std::make_shared<DeadOnly>());
        QVERIFY(!main.VideoCap1()->DriverOpen());
        desk.shown.clear();
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries);

        main.ui()->BitBtnMotion->click();
        main.ui()->menuMotion->trigger();
        QCOMPARE(desk.shownTexts(),
                 QStringList({"Select video driver first!", "Select video driver first!"}));
        QCOMPARE(desk.shown.first().kind, MsgKind::Information);
        QCOMPARE(desk.shown.first().buttons, MsgButtons(MsgButton::Ok));
        QCOMPARE(main.ui()->BitBtnMotion->text(), QString("Start"));
        QCOMPARE(main.ui()->menuMotion->text(), QString("Start Motion Detection"));
        QVERIFY(main.ui()->stMotionActive->isHidden());
        QVERIFY(!main.Timer2()->isActive());
        QVERIFY(!main.motion()->running());
        QVERIFY(main.ui()->GroupBox2->isEnabled());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries), before);
    }

    void sessionLookImagesAndRestart() {
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=4\r\n");
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ui = main.ui();
        auto* motion = main.motion();
        QVERIFY(main.VideoCap1()->DriverOpen());
        QVERIFY(desk.shown.isEmpty());
        ui->ListBox1->addItem("left over");
        motion->detector().setLastFrameSum(7);

        ui->BitBtnMotion->click();
        QVERIFY(desk.shown.isEmpty());
        QVERIFY(desk.tones.isEmpty());
        QVERIFY(motion->running());
        QCOMPARE(motion->MotionSessionName, SessionName);
        QCOMPARE(motion->MotionSessionFolder, folder.path + SessionName);
        QCOMPARE(folder.sessionFolders(), QStringList{SessionName});
        QVERIFY(motion->detector().LastFrameSum() > 1000000); // seeded from a real frame
        QCOMPARE(ui->BitBtnMotion->text(), QString("Stop"));
        QVERIFY(ui->BitBtnMotion->styleSheet().contains("red"));
        QVERIFY(!ui->stMotionActive->isHidden());
        QCOMPARE(ui->menuMotion->text(), QString("Stop Motion Detection"));
        QCOMPARE(ui->lblDetectCount->text(), QString(" Latest Motion Detection Count: 0 "));
        QCOMPARE(ui->ListBox1->count(), 0);
        QVERIFY(main.Timer2()->isActive());
        QCOMPARE(main.Timer2()->interval(), 4000);

        const QList<QWidget*> locked{ui->GroupBox1,
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
                                     ui->btnWebMgt};
        const QList<QAction*> lockedMenus{ui->menuVideoDriver1,      ui->menuCaptureparameter1,
                                          ui->menuVideoCompression1, ui->menuNetwork,
                                          ui->menuRemoteMgt,         ui->menuFileAnimation,
                                          ui->menuSnapshot,          ui->menuVideo,
                                          ui->menuPeriodicUpdate,    ui->menuWizard};
        for (QWidget* w : locked)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        for (QAction* a : lockedMenus)
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(ui->BitBtnMotion->isEnabled());
        QVERIFY(ui->menuMotion->isEnabled());

        // The still room: fresh frames, only sensor noise and the clock change.
        for (int tick = 0; tick < 45; ++tick) {
            QTest::qWait(70);
            motion->Timer2Timer();
        }
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(motion->MotionDetectCount, 0);
        QCOMPARE(ui->ListBox1->count(), 0);
        QVERIFY(folder.images(SessionName).isEmpty());

        desk.clock = Start.addSecs(32);
        forcedDetection(main);
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(folder.images(SessionName), QStringList{"image001.jpg"});
        verifyJpeg(folder.path + SessionName + "/image001.jpg");
        QCOMPARE(listItems(main), QStringList{"image001.jpg"});
        QCOMPARE(ui->lblDetectCount->text(), QString(" Latest Motion Detection Count: 1 "));
        QCOMPARE(motion->MotionImageFile, folder.path + SessionName + "/image001.jpg");
        QCOMPARE(motion->MotionRemoteName, SessionName + "_10.16.02.jpg");
        // The frame of the detection stays behind in the program folder.
        QVERIFY(readAll(folder.path + "temp00.bmp").startsWith("BM"));
        QVERIFY(desk.beeps == 0); // no detection sound unless asked for

        forcedDetection(main);
        QCOMPARE(listItems(main), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(folder.images(SessionName), QStringList({"image001.jpg", "image002.jpg"}));
        verifyJpeg(folder.path + SessionName + "/image002.jpg");
        QCOMPARE(ui->lblDetectCount->text(), QString(" Latest Motion Detection Count: 2 "));

        // Stop: the window comes back, the list and count stay for browsing.
        motion->detector().setLastFrameSum(7);
        ui->menuMotion->trigger();
        QVERIFY(!motion->running());
        QVERIFY(!main.Timer2()->isActive());
        QVERIFY(motion->detector().LastFrameSum() > 1000000); // seeded on stop as well
        QCOMPARE(ui->BitBtnMotion->text(), QString("Start"));
        QVERIFY(ui->BitBtnMotion->styleSheet().contains("green"));
        QVERIFY(ui->stMotionActive->isHidden());
        QCOMPARE(ui->menuMotion->text(), QString("Start Motion Detection"));
        for (QWidget* w : locked)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        for (QAction* a : lockedMenus)
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        QCOMPARE(listItems(main), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(ui->lblDetectCount->text(), QString(" Latest Motion Detection Count: 2 "));
        QCOMPARE(motion->MotionSessionName, SessionName);
        QCOMPARE(motion->MotionImageCounter, 2);

        // A check that comes after the stop does nothing.
        forcedDetection(main);
        QCOMPARE(ui->ListBox1->count(), 2);

        // Start again: a new folder, an empty list, numbers from 001.
        desk.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0));
        ui->BitBtnMotion->click();
        QCOMPARE(motion->MotionSessionName, QString("12-06-26"));
        QCOMPARE(folder.sessionFolders(), QStringList({SessionName, "12-06-26"}));
        QCOMPARE(ui->ListBox1->count(), 0);
        QCOMPARE(ui->lblDetectCount->text(), QString(" Latest Motion Detection Count: 0 "));
        desk.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 9));
        forcedDetection(main);
        QCOMPARE(folder.images("12-06-26"), QStringList{"image001.jpg"});
        QCOMPARE(listItems(main), QStringList{"image001.jpg"});
        QCOMPARE(motion->MotionRemoteName, QString("12-06-26_00.00.09.jpg"));
        QCOMPARE(folder.images(SessionName), QStringList({"image001.jpg", "image002.jpg"}));
        ui->BitBtnMotion->click();
        QVERIFY(desk.shown.isEmpty());
    }

    void figureCrossingTheRoomIsDetected() {
        ProgramFolder folder(3, "[Motion Detection]\r\nInterval=3600\r\n"
                                "Detection_Sound=1\r\n");
        ScriptedDesktop desk;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        auto* motion = main.motion();
        main.ui()->BitBtnMotion->click();
        QVERIFY(motion->running());
        const QString session = motion->MotionSessionName;

        // The figure enters 3 s after the camera opened and keeps walking; its entries
        // and exits change the picture by a few percent.
        QElapsedTimer elapsed;
        elapsed.start();
        while (motion->MotionDetectCount < 3 && elapsed.elapsed() < 15000) {
            QTest::qWait(150);
            motion->Timer2Timer();
        }
        QVERIFY(desk.shown.isEmpty());
        const int count = motion->MotionDetectCount;
        QVERIFY2(count >= 2, qPrintable(QString::number(count)));
        QStringList expected;
        for (int i = 1; i <= count; ++i)
            expected << QStringLiteral("image%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        QCOMPARE(listItems(main), expected);
        QCOMPARE(folder.images(session), expected);
        for (const QString& name : expected)
            verifyJpeg(folder.path + session + "/" + name);
        QCOMPARE(main.ui()->lblDetectCount->text(),
                 QStringLiteral(" Latest Motion Detection Count: %1 ").arg(count));
        QCOMPARE(desk.beeps, count); // the detection sound, once per detection
        main.ui()->BitBtnMotion->click();
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
        ProgramFolder folder(0, "[Motion Detection]\r\nStart_Delay=" + delay.toLatin1() + "\r\n");
        ScriptedDesktop desk;
        desk.ticks = firstTick;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        QVERIFY(main.ui()->CheckBoxSound->isChecked());
        // A second command while the tones play, and what the window shows meanwhile.
        QString captionDuringDelay = "none";
        bool timerDuringDelay = false;
        QTimer::singleShot(0, &main, [&] {
            captionDuringDelay = main.ui()->BitBtnMotion->text();
            timerDuringDelay = main.Timer2()->isActive();
            main.ui()->BitBtnMotion->click();
        });
        main.ui()->BitBtnMotion->click();
        QCOMPARE(desk.tones.size(), tones);
        for (const auto& tone : desk.tones) {
            QCOMPARE(tone.frequencyHz, 1100);
            QCOMPARE(tone.milliseconds, 800);
        }
        if (tones > 0) {
            QCOMPARE(captionDuringDelay, QString("Start"));
            QVERIFY(!timerDuringDelay);
        }
        QTest::qWait(0); // let the queued click run when there was no delay
        QVERIFY(desk.shown.isEmpty());
        // One session, whatever the second command did.
        QCOMPARE(main.ui()->BitBtnMotion->text(), tones > 0 ? QString("Stop") : QString("Start"));
        QCOMPARE(folder.sessionFolders().size(), 1);
        QCOMPARE(main.motion()->running(), main.Timer2()->isActive());
    }

    void silentStartDelayStillWaits() {
        ProgramFolder folder(0, "[Motion Detection]\r\nStart_Delay=2\r\nDelay_Sound=0\r\n");
        ScriptedDesktop desk;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        QVERIFY(!main.ui()->CheckBoxSound->isChecked());
        // The tick counter moves only here, 10 ms at a time.
        QString captionDuringDelay;
        QTimer clock;
        QObject::connect(&clock, &QTimer::timeout, &main, [&] {
            desk.ticks += 10;
            if (desk.ticks == 1000) captionDuringDelay = main.ui()->BitBtnMotion->text();
        });
        clock.start(2);
        main.ui()->BitBtnMotion->click();
        clock.stop();
        QVERIFY(desk.tones.isEmpty());
        QVERIFY(desk.ticks >= 2000);
        QCOMPARE(captionDuringDelay, QString("Start"));
        QCOMPARE(main.ui()->BitBtnMotion->text(), QString("Stop"));
        QVERIFY(main.Timer2()->isActive());
    }

    void intervalZeroRunsWithoutChecks() {
        ProgramFolder folder(3, "[Motion Detection]\r\nInterval=0\r\n");
        ScriptedDesktop desk;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.ui()->BitBtnMotion->click();
        QVERIFY(main.motion()->running());
        QCOMPARE(main.ui()->BitBtnMotion->text(), QString("Stop"));
        QVERIFY(!main.Timer2()->isActive());
        const quint32 reference = main.motion()->detector().LastFrameSum();
        QTest::qWait(400);
        QCOMPARE(main.motion()->detector().LastFrameSum(), reference); // no check ran
        // The next command stops it like any session.
        main.ui()->BitBtnMotion->click();
        QVERIFY(!main.motion()->running());
        QCOMPARE(main.ui()->BitBtnMotion->text(), QString("Start"));
        QVERIFY(main.ui()->edDetectInterval->isEnabled());
        QVERIFY(desk.shown.isEmpty());
    }

    void emptyFieldsStopTheStart() {
        ProgramFolder folder(0);
        ScriptedDesktop desk;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        auto* ui = main.ui();

        // No delay: the folder is made, then the command stops before the window changes.
        desk.clock = Start;
        ui->edDelay->setText("");
        ui->BitBtnMotion->click();
        QCOMPARE(desk.shown.size(), 1);
        QCOMPARE(desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(folder.sessionFolders(), QStringList{SessionName});
        QCOMPARE(ui->BitBtnMotion->text(), QString("Start"));
        QVERIFY(ui->stMotionActive->isHidden());
        QVERIFY(!main.motion()->running());
        QVERIFY(ui->GroupBox2->isEnabled());

        // No interval: the running look without a timer; the next command starts again.
        ui->edDelay->setText("0");
        ui->edDetectInterval->setText("");
        ui->ListBox1->addItem("old");
        ui->BitBtnMotion->click();
        QCOMPARE(desk.shown.size(), 2);
        QCOMPARE(desk.shown.last().kind, MsgKind::Error);
        QCOMPARE(ui->BitBtnMotion->text(), QString("Stop"));
        QCOMPARE(ui->ListBox1->count(), 0);
        QVERIFY(!main.Timer2()->isActive());
        QVERIFY(!main.motion()->running());
        QVERIFY(ui->edDetectInterval->isEnabled());
        ui->edDetectInterval->setText("2");
        ui->BitBtnMotion->click();
        QCOMPARE(desk.shown.size(), 2);
        QVERIFY(main.motion()->running());
        QVERIFY(main.Timer2()->isActive());
        QCOMPARE(main.Timer2()->interval(), 2000);
        QVERIFY(!ui->edDetectInterval->isEnabled());
    }

    void unwritableSessionFolderSavesNothing() {
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\n");
        // A file where the session folder should go.
        QVERIFY(writeFile(folder.path + SessionName, "in the way"));
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.ui()->BitBtnMotion->click();
        QVERIFY(main.motion()->running());
        QVERIFY(desk.shown.isEmpty()); // the failed creation is not reported
        forcedDetection(main);
        forcedDetection(main);
        QCOMPARE(desk.shown.size(), 2); // each detection's save fails on its own
        QCOMPARE(desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(main.ui()->ListBox1->count(), 0);
        QCOMPARE(main.motion()->MotionDetectCount, 0);
        QCOMPARE(main.motion()->MotionImageCounter, 0);
        QCOMPARE(main.ui()->lblDetectCount->text(), QString(" Latest Motion Detection Count: 0 "));
        QCOMPARE(readAll(folder.path + SessionName), QByteArray("in the way"));
        // The session goes on and stops normally.
        main.ui()->BitBtnMotion->click();
        QCOMPARE(main.ui()->BitBtnMotion->text(), QString("Start"));
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
        ProgramFolder folder(0, settings);
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        main.ui()->BitBtnMotion->click();
        forcedDetection(main);
        QTest::qWait(150); // a new frame
        forcedDetection(main);
        QCOMPARE(main.motion()->MotionDetectCount, 2);
        QCOMPARE(listItems(main), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(folder.images(SessionName), QStringList({"image001.jpg", "image002.jpg"}));
        QVERIFY(readAll(folder.path + SessionName + "/image001.jpg") !=
                readAll(folder.path + SessionName + "/image002.jpg"));
        // Reported like a mail that failed on its way, once per attempt.
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));
        const QStringList log = main.errorLog().lines();
        QCOMPARE(countOf(log, " :   SMTP error = "), attempts);
        QVERIFY(!main.statusPanel(1)->text().isEmpty());
        QVERIFY(log.last().endsWith(main.statusPanel(1)->text()));
        QVERIFY(smtpIdle(main));
        main.ui()->BitBtnMotion->click();
    }

    void fieldsTakeDigitsOnly_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("edDelay") << "edDelay";
        QTest::newRow("edDetectInterval") << "edDetectInterval";
    }
    void fieldsTakeDigitsOnly() {
        QFETCH(QString, field);
        ProgramFolder folder(0);
        ScriptedDesktop desk;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* edit = main.findChild<QLineEdit*>(field);
        QVERIFY(edit);
        edit->clear();
        edit->setFocus();
        QTest::keyClicks(edit, "1x2 -");
        QCOMPARE(edit->text(), QString("12"));
        QCOMPARE(desk.shownTexts(),
                 QStringList({"Invalid entry: x", "Invalid entry:  ", "Invalid entry: -"}));
        QCOMPARE(desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(desk.beeps, 3);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("1"));
        QCOMPARE(desk.shown.size(), 3);
    }
};

// ---- against the real servers -------------------------------------------------------------

class TestMotionSessionNet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    void ftpUploadsWhatItFindsReady() {
        QTemporaryDir root;
        test::PeerServer server(test::peerScript("ftp_server.py"),
                                {root.path(), "ostrel", "s3cret"});
        QVERIFY2(server.start(), qPrintable(server.error()));
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=" +
                                    QByteArray::number(server.port()) +
                                    "\r\nUser_ID=ostrel\r\nPassword=s3cret\r\nPassive_Mode=1\r\n");
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ftp = main.FtpClient();
        auto* motion = main.motion();
        QCOMPARE(ftp->Tag(), 0);
        const QStringList logBefore = main.errorLog().lines();

        main.ui()->BitBtnMotion->click();
        QVERIFY(motion->running());
        QCOMPARE(ftp->Tag(), 0); // the connect has only started
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY(ftp->Connected());

        desk.clock = Start.addSecs(32);
        forcedDetection(main);
        QCOMPARE(ftp->Tag(), 0);
        QCOMPARE(ftp->HostFileName(), SessionName + "_10.16.02.jpg");
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);

        // The second upload runs when the third detection comes: the third is kept only here.
        desk.clock = Start.addSecs(33);
        forcedDetection(main);
        desk.clock = Start.addSecs(34);
        forcedDetection(main);
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QCOMPARE(motion->MotionDetectCount, 3);
        QCOMPARE(folder.images(SessionName),
                 QStringList({"image001.jpg", "image002.jpg", "image003.jpg"}));

        const QString local = folder.path + SessionName + "/";
        const QStringList remote{SessionName + "_10.16.02.jpg", SessionName + "_10.16.03.jpg"};
        QCOMPARE(QDir(root.path()).entryList(QDir::Files, QDir::Name), remote);
        QCOMPARE(readAll(root.filePath(remote[0])), readAll(local + "image001.jpg"));
        QCOMPARE(readAll(root.filePath(remote[1])), readAll(local + "image002.jpg"));
        QVERIFY(readAll(local + "image001.jpg") != readAll(local + "image002.jpg"));

        // Two detections within the same second share the remote name.
        desk.clock = Start.addSecs(40);
        forcedDetection(main);
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        forcedDetection(main);
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QCOMPARE(readAll(root.filePath(SessionName + "_10.16.10.jpg")),
                 readAll(local + "image005.jpg"));
        QCOMPARE(QDir(root.path()).entryList(QDir::Files).size(), 3);

        main.ui()->BitBtnMotion->click();
        QVERIFY(!ftp->Connected()); // quit at once
        QCOMPARE(ftp->Tag(), 0);
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(main.errorLog().lines(), logBefore);
        QCOMPARE(main.statusPanel(1)->text(), QString());
    }

    void stopDuringUploadLeavesTheClientUsable() {
        QTemporaryDir root;
        test::PeerServer server(test::peerScript("ftp_server.py"),
                                {root.path(), "ostrel", "s3cret"});
        QVERIFY2(server.start(), qPrintable(server.error()));
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=" +
                                    QByteArray::number(server.port()) +
                                    "\r\nUser_ID=ostrel\r\nPassword=s3cret\r\nPassive_Mode=1\r\n");
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ftp = main.FtpClient();

        // Stopped while the connect is under way.
        main.ui()->BitBtnMotion->click();
        main.ui()->BitBtnMotion->click();
        QVERIFY(!main.motion()->running());
        QTRY_VERIFY_WITH_TIMEOUT(ftp->Ready(), 15000);
        QTest::qWait(100);
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));

        // The next session connects afresh.
        desk.clock = Start.addSecs(60);
        main.ui()->BitBtnMotion->click();
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));

        // Stopped while an upload is under way: the image still arrives whole.
        desk.clock = Start.addSecs(61);
        forcedDetection(main);
        QCOMPARE(ftp->Tag(), 0);
        main.ui()->BitBtnMotion->click();
        QVERIFY(!main.motion()->running());
        QTRY_VERIFY_WITH_TIMEOUT(ftp->Ready(), 15000);
        QTest::qWait(100);
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));
        QCOMPARE(readAll(root.filePath("12-05-26_10.16.30_10.16.31.jpg")),
                 readAll(folder.path + "12-05-26_10.16.30/image001.jpg"));

        desk.clock = Start.addSecs(120);
        main.ui()->BitBtnMotion->click();
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));
        desk.clock = Start.addSecs(125);
        forcedDetection(main);
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);
        QVERIFY(QFile::exists(root.filePath("12-05-26_10.17.30_10.17.35.jpg")));
        main.ui()->BitBtnMotion->click();
        QVERIFY(!ftp->Connected());
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));
    }

    void ftpServerGoneBetweenUploads() {
        QTemporaryDir root;
        auto server = std::make_unique<test::PeerServer>(
            test::peerScript("ftp_server.py"), QStringList{root.path(), "ostrel", "s3cret"});
        QVERIFY2(server->start(), qPrintable(server->error()));
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=" +
                                    QByteArray::number(server->port()) +
                                    "\r\nUser_ID=ostrel\r\nPassword=s3cret\r\n");
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ftp = main.FtpClient();
        main.ui()->BitBtnMotion->click();
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 1, 15000);

        // The host drops the idle session (as servers do after their idle timeout).
        server.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!ftp->Connected(), 15000);
        QCOMPARE(ftp->Tag(), 1);

        forcedDetection(main);
        QTest::qWait(150); // a new frame
        forcedDetection(main);
        QTest::qWait(200);
        QCOMPARE(main.motion()->MotionDetectCount, 2);
        QCOMPARE(folder.images(SessionName), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(listItems(main), QStringList({"image001.jpg", "image002.jpg"}));
        QVERIFY(readAll(folder.path + SessionName + "/image001.jpg") !=
                readAll(folder.path + SessionName + "/image002.jpg"));
        QVERIFY2(desk.shown.isEmpty(), qPrintable(desk.shownTexts().join("; ")));
        // One failure, reported as FTP failures are; no upload is tried after it.
        QCOMPARE(ftp->Tag(), 2);
        QCOMPARE(countOf(main.errorLog().lines(), " :   FTP error = "), 1);
        QVERIFY(!main.statusPanel(1)->text().isEmpty());
        main.ui()->BitBtnMotion->click();
        QCOMPARE(ftp->Tag(), 0);
    }

    void ftpServerDownKeepsImagesLocal() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close(); // nothing listens there now
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=" +
                                    QByteArray::number(port) +
                                    "\r\nUser_ID=ostrel\r\nPassword=s3cret\r\n"
                                    "[Other Settings]\r\nErrorBeep=1\r\n");
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ftp = main.FtpClient();
        const int beepsBefore = desk.beeps;

        main.ui()->BitBtnMotion->click();
        QTRY_COMPARE_WITH_TIMEOUT(ftp->Tag(), 2, 15000);
        QVERIFY(!ftp->ErrorMessage().isEmpty());
        QCOMPARE(main.statusPanel(1)->text(), ftp->ErrorMessage());
        QCOMPARE(desk.beeps, beepsBefore + 1);

        desk.clock = Start.addSecs(10);
        forcedDetection(main);
        QTest::qWait(200);
        forcedDetection(main);
        QTest::qWait(200);
        QCOMPARE(ftp->Tag(), 2);
        QCOMPARE(folder.images(SessionName), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(listItems(main), QStringList({"image001.jpg", "image002.jpg"}));
        QCOMPARE(main.motion()->MotionDetectCount, 2);

        const QStringList log =
            QString::fromLatin1(readAll(folder.path + "Error.log")).split("\r\n");
        QCOMPARE(countOf(log, " :   FTP error = "), 1);
        QVERIFY(log.contains("12/05/26 10:15:30 :   FTP error = " + ftp->ErrorMessage()));
        QCOMPARE(desk.beeps, beepsBefore + 1);
        QVERIFY(desk.shown.isEmpty());

        main.ui()->BitBtnMotion->click();
        QCOMPARE(ftp->Tag(), 0);
        QVERIFY(desk.shown.isEmpty());
    }

    void firstDetectionIsNotifiedOnce() {
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\n"
                                "[Protocol Settings]\r\nNotification=1\r\n"
                                "[Other Settings]\r\nCamera=Shop\r\n" +
                                    mails.settings());
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* motion = main.motion();
        QVERIFY(main.ui()->rbLocalSave->isChecked());

        main.ui()->BitBtnMotion->click();
        desk.clock = Start.addSecs(32);
        forcedDetection(main);
        QVERIFY(motion->MotionNotified);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(1)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        const QJsonObject m = mails.parsed(1);
        QCOMPARE(m["subject"].toString(), QString("Ostrel: motion detection notification."));
        const QStringList lines{" ",
                                "Ostrel: motion detection notification - Camera: Shop",
                                " ",
                                "Movement was detected on 12/05/26 10:16:02 (local system time).",
                                " ",
                                "These are the date and time of the first detection only.",
                                "Subsequent detections during the same session are not notified.",
                                "Please check the image files uploaded to your remote FTP server."};
        QCOMPARE(m["text"].toString(), lines.join('\n') + '\n');
        QVERIFY(m["attachments"].toArray().isEmpty());
        QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toArray(), QJsonArray{"owner@example.org"});
        // Local save: nothing went to an FTP host.
        QVERIFY(!main.FtpClient()->Connected());

        forcedDetection(main);
        QTest::qWait(300);
        forcedDetection(main);
        QTest::qWait(500);
        QCOMPARE(mails.mails(), 1);
        QVERIFY(smtpIdle(main));
        QCOMPARE(motion->MotionDetectCount, 3);

        // A new session may notify again, but not when the client is busy with another
        // mail: that mail goes out as it was, and the session counts as notified.
        main.ui()->BitBtnMotion->click();
        QVERIFY(!motion->MotionNotified);
        desk.clock = Start.addSecs(3600);
        main.ui()->BitBtnMotion->click();
        auto* smtp = main.SmtpClient();
        smtp->setHdrSubject("sent by hand");
        smtp->setMailMessage({"hand"});
        smtp->EmailFiles().clear();
        smtp->Connect();
        forcedDetection(main);
        QVERIFY(motion->MotionNotified);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(2)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        const QJsonObject hand = mails.parsed(2);
        QCOMPARE(hand["subject"].toString(), QString("sent by hand"));
        QCOMPARE(hand["text"].toString(), QString("hand\n"));
        forcedDetection(main);
        QTest::qWait(500);
        QCOMPARE(mails.mails(), 2);

        // The session after that notifies again.
        main.ui()->BitBtnMotion->click();
        desk.clock = Start.addSecs(7200);
        main.ui()->BitBtnMotion->click();
        forcedDetection(main);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(3)), 20000);
        QCOMPARE(mails.parsed(3)["subject"].toString(),
                 QString("Ostrel: motion detection notification."));
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        main.ui()->BitBtnMotion->click();
        QVERIFY(desk.shown.isEmpty());
    }

    void emailModeMailsEveryImageTheClientCanTake() {
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        ProgramFolder folder(0, "[Motion Detection]\r\nInterval=3600\r\nRemote_Save=1\r\n"
                                "[Protocol Settings]\r\nEmailOnly=1\r\nNotification=1\r\n"
                                "[FTP Settings]\r\nFTP_Host=127.0.0.1\r\nFTP_Port=1\r\n"
                                "[Other Settings]\r\nCamera=Shop\r\n" +
                                    mails.settings());
        ScriptedDesktop desk;
        desk.clock = Start;
        TMain main(folder.path, std::make_shared<VirtualCameraOnly>(folder.path));
        main.createWindows();
        auto* ui = main.ui();
        auto* motion = main.motion();
        QVERIFY(main.EmailOnly);

        ui->BitBtnMotion->click();
        QVERIFY(motion->running());
        QVERIFY(!main.FtpClient()->Connected()); // no FTP in e-mail mode
        QCOMPARE(main.FtpClient()->Tag(), 0);

        // The second detection finds the first mail still under way.
        desk.clock = Start.addSecs(32);
        forcedDetection(main);
        desk.clock = Start.addSecs(33);
        forcedDetection(main);
        QCOMPARE(motion->MotionDetectCount, 2);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(1)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        QTest::qWait(300);
        QCOMPARE(mails.mails(), 1);
        const QString local = folder.path + SessionName + "/";
        QJsonObject m = mails.parsed(1);
        QCOMPARE(m["subject"].toString(), "Ostrel Shop motion detection - Session: " + SessionName);
        QCOMPARE(m["text"].toString(), "Ostrel - Camera: Shop\n(Date__Session Start__Time)\n" +
                                           SessionName + "_10.16.02.jpg\n");
        QJsonArray attachments = m["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments[0].toObject()["filename"].toString(), QString("image001.jpg"));
        QCOMPARE(QByteArray::fromHex(attachments[0].toObject()["data"].toString().toLatin1()),
                 readAll(local + "image001.jpg"));
        QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toArray(), QJsonArray{"owner@example.org"});

        desk.clock = Start.addSecs(40);
        forcedDetection(main);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(2)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(smtpIdle(main), 20000);
        m = mails.parsed(2);
        QCOMPARE(m["text"].toString(), "Ostrel - Camera: Shop\n(Date__Session Start__Time)\n" +
                                           SessionName + "_10.16.10.jpg\n");
        attachments = m["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments[0].toObject()["filename"].toString(), QString("image003.jpg"));
        QCOMPARE(QByteArray::fromHex(attachments[0].toObject()["data"].toString().toLatin1()),
                 readAll(local + "image003.jpg"));
        // The notification belongs to FTP mode only.
        QVERIFY(!motion->MotionNotified);
        QCOMPARE(mails.mails(), 2);

        // Stopping leaves what e-mail mode keeps unavailable as it was.
        ui->BitBtnMotion->click();
        QVERIFY(!ui->btnWebMgt->isEnabled());
        QVERIFY(!ui->menuRemoteMgt->isEnabled());
        QVERIFY(!ui->GroupBox3->isEnabled());
        QVERIFY(ui->GroupBox2->isEnabled());
        QVERIFY(ui->menuNetwork->isEnabled());
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(main.errorLog().lines().filter("SMTP error").size(), 0);
    }
};

#ifdef OSTREL_MOTION_NET
QTEST_MAIN(TestMotionSessionNet)
#else
QTEST_MAIN(TestMotionSession)
#endif
#include "tst_motionsession.moc"
