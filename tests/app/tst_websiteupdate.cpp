// The website update of the main window against a real FTP server (and a real SMTP server
// for the notification mail), in a temporary program folder with the virtual camera: what
// Start, the ticks, Stop and the close leave on the host, how an unreachable host suspends,
// re-establishes and disables the update, and the update started at start-up.
#include "JpegCheck.h"
#include "Peer.h"
#include "app/WebsiteController.h"
#include "app/mainf.h"
#include "capture/Bitmap.h"
#include "capture/CaptureDriver.h"
#include "capture/VideoCapture.h"
#include "net/FtpClient.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_mainf.h"
#include "web/WebsiteUpdate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>
#include <clocale>
#include <memory>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString User = QStringLiteral("webcam");
const QString Password = QStringLiteral("s3cret");
// Start of every run; each later attempt comes ten minutes after the one before, as the
// suspended timer would bring it.
const QDateTime T0(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString Refused = QStringLiteral("500 Connection refused (Winsock error #10061)");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "12/05/26 10:25:30" for T0 + 10 minutes: the C locale's %x %X.
QString at(const QDateTime& when) {
    return when.toString(QStringLiteral("MM/dd/yy")) +
           (when.time() == QTime(0, 0)
                ? QString()
                : QLatin1Char(' ') + when.toString(QStringLiteral("hh:mm:ss")));
}

struct StampHeader {
    QByteArray magic;
    qint32 width = 0;
    qint32 height = 0;
    quint16 bitsPerPixel = 0;
};
StampHeader bitmapHeader(const QByteArray& b) {
    StampHeader h;
    if (b.size() < 30) return h;
    h.magic = b.left(2);
    h.width = qFromLittleEndian<qint32>(b.constData() + 18);
    h.height = qFromLittleEndian<qint32>(b.constData() + 22);
    h.bitsPerPixel = qFromLittleEndian<quint16>(b.constData() + 28);
    return h;
}

const char* const parseMail = R"(
import email, json, sys
from email import policy
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=policy.default)
text = None
for part in msg.walk():
    if not part.is_multipart() and part.get_content_type() == 'text/plain' and text is None:
        text = part.get_content().replace('\r\n', '\n')
print(json.dumps({'subject': str(msg['subject']), 'text': text,
                  'attachments': sum(1 for p in msg.walk()
                                     if p.get_content_disposition() == 'attachment'),
                  'envelope': json.load(open(sys.argv[2]))}))
)";

// A program folder with the virtual camera and the stop pictures, and the FTP login
// folder the real server serves.
struct Site {
    QTemporaryDir program;
    QTemporaryDir root;
    QString folder;
    std::unique_ptr<PeerServer> ftp;
    quint16 port = 0;
    QMap<QString, QString> settings; // "Section/Key" -> value

    Site() {
        folder = program.path() + QLatin1Char('/');
        const QString data = qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/data/");
        QFile::copy(data + "stopcap.jpg", folder + "stopcap.jpg");
        QFile::copy(data + "stoptime.bmp", folder + "stoptime.bmp");
        // The virtual camera without its passing figure: a still room is enough here.
        write("vcap.sif", "[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nMotion_Interval=0\r\n");
        settings = {
            {"FTP Settings/FTP_Host", "127.0.0.1"}, {"FTP Settings/User_ID", User},
            {"FTP Settings/Password", Password},    {"FTP Settings/Passive_Mode", "1"},
            {"FTP Settings/FTP_Timeout", "10"},     {"FTP Settings/Update_Interval", "2"},
            {"Other Settings/FirstRun", "0"},       {"Other Settings/Camera", "Location 1"}};
    }

    void write(const QString& name, const QByteArray& text) {
        QFile f(folder + name);
        if (f.open(QIODevice::WriteOnly)) f.write(text);
    }

    bool startFtp() {
        QStringList args{root.path(), User, Password};
        if (port) args << QStringLiteral("--port") << QString::number(port);
        ftp = std::make_unique<PeerServer>(peerScript(QStringLiteral("ftp_server.py")), args);
        if (!ftp->start()) {
            qWarning("%s", qPrintable(ftp->error()));
            return false;
        }
        port = ftp->port();
        return true;
    }
    void stopFtp() { ftp.reset(); }
    // A port the client will find nobody listening on, which a server can take later.
    bool deadPort() {
        if (!startFtp()) return false;
        stopFtp();
        return true;
    }

    // Ostrel.sif from `settings`, then the TMain of a normal start.
    std::unique_ptr<TMain> open() {
        settings["FTP Settings/FTP_Port"] = QString::number(port);
        QMap<QString, QStringList> sections;
        for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
            const auto parts = it.key().split(QLatin1Char('/'));
            sections[parts[0]] << parts[1] + QLatin1Char('=') + it.value();
        }
        QByteArray text;
        for (auto it = sections.cbegin(); it != sections.cend(); ++it)
            text += ("[" + it.key() + "]\r\n" + it.value().join("\r\n") + "\r\n").toUtf8();
        write("Ostrel.sif", text);
        auto main = std::make_unique<TMain>(folder, systemDrivers(folder));
        main->createWindows();
        return main;
    }

    QByteArray remote(const QString& name) const { return readAll(root.filePath(name)); }
    QByteArray local(const QString& name) const { return readAll(folder + name); }
    // The lines of Error.log without the empty one a new log starts with.
    QStringList log() const {
        QStringList lines = QString::fromLocal8Bit(local("Error.log")).split("\r\n");
        lines.removeAll(QString());
        return lines;
    }
};

// An SMTP server that greets and then says nothing, so a session stays open.
struct SilentSmtp {
    QTcpServer server;
    QList<QTcpSocket*> sessions;
    SilentSmtp() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                s->write("220 quiet.example.org ESMTP\r\n");
                sessions << s;
            }
        });
    }
    // Opens a mail session on the program's SMTP client and waits for its HELO.
    bool holdOpen(TSmtpClient& smtp) {
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(server.serverPort()));
        smtp.RcptName() = QStringList{QStringLiteral("someone@example.org")};
        smtp.Connect();
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (!sessions.isEmpty() && sessions.first()->canReadLine()) return smtp.Connected();
        }
        return false;
    }
};

bool stopPicturesOnHost(const Site& site) {
    return site.remote("Capture.jpg") == site.local("stopcap.jpg") &&
           site.remote("datetime.bmp") == site.local("stoptime.bmp");
}

} // namespace

// A failed check inside a helper ends the test too.
#define VERIFY_LOOK(main, started)                                                                 \
    do {                                                                                           \
        verifyStartedLook(main, started);                                                          \
        if (QTest::currentTestFailed()) return;                                                    \
    } while (false)

class TestWebsiteUpdate : public QObject {
    Q_OBJECT

    // The look of a running (or stopped) update: captions, badge, and what is locked.
    static void verifyStartedLook(TMain& main, bool started) {
        auto* ui = main.ui();
        QCOMPARE(ui->BitBtnFrameCap->text(), started ? QString("Stop") : QString("Start"));
        QCOMPARE(ui->menuPeriodicUpdate->text(),
                 started ? QString("Stop Web Update") : QString("Start Web Update"));
        QCOMPARE(ui->stWebUpdate->isHidden(), !started);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 ui->GroupBox1, ui->GroupBox2, ui->GroupBox4, ui->EditInterval, ui->btnWebMgt})
            QVERIFY2(w->isEnabled() == !started, qPrintable(w->objectName()));
        // Video Compression is left out: every frame grab's status update enables it again
        // while a driver is chosen.
        for (QAction* a : {ui->menuVideoDriver1, ui->menuCaptureparameter1, ui->menuNetwork,
                           ui->menuRemoteMgt, ui->menuFileAnimation, ui->menuSnapshot,
                           ui->menuVideo, ui->menuMotion, ui->menuWizard})
            QVERIFY2(a->isEnabled() == !started, qPrintable(a->objectName()));
        if (!started) QVERIFY(ui->menuVideoCompression1->isEnabled());
        // The busy light is off between attempts.
        QCOMPARE(ui->lblColor->palette().color(QPalette::Window),
                 main.palette().color(QPalette::Button));
    }

    // Ten minutes later, one tick.
    static void tickLater(ScriptedDesktop& desk, TMain& main) {
        desk.clock = desk.clock.addSecs(600);
        main.website()->Timer1Timer();
    }

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName("Ostrel");
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void startTicksAndStopOnTheHost() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        auto main = site.open();
        QVERIFY(main->VideoCap1()->DriverOpen());
        QVERIFY(!main->Timer1()->isActive());
        // The designed caption until the first stop.
        QCOMPARE(main->ui()->menuPeriodicUpdate->text(), QString("Start Website Update"));
        QCOMPARE(main->ui()->BitBtnFrameCap->text(), QString("Start"));
        QVERIFY(main->ui()->stWebUpdate->isHidden());
        QVERIFY(site.remote("Capture.jpg").isEmpty());

        main->ui()->BitBtnFrameCap->click();
        VERIFY_LOOK(*main, true);
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Succeeded);
        QVERIFY(!main->FtpClient()->Connected()); // each upload ends with QUIT

        // The current frame as a JPEG of the camera's size, and the stamp picture.
        const QByteArray jpeg = site.remote("Capture.jpg");
        QCOMPARE(jpeg, site.local("Capture.jpg"));
        const DecodedJpeg decoded = decodeJpeg(jpeg);
        QVERIFY(decoded.ok);
        QCOMPARE(QSize(decoded.width, decoded.height), QSize(640, 480));
        const double difference =
            meanDifference(decoded.picture, bitmap::load(site.folder + "Capture.bmp"));
        QVERIFY2(difference < 6.0, qPrintable(QString::number(difference)));
        const QByteArray stamp = site.remote("datetime.bmp");
        QCOMPARE(stamp, site.local("datetime.bmp"));
        const StampHeader header = bitmapHeader(stamp);
        QCOMPARE(header.magic, QByteArray("BM"));
        QCOMPARE(header.width, 200);
        QCOMPARE(header.height, 18); // positive: bottom-up rows
        QCOMPARE(header.bitsPerPixel, quint16(24));
        QVERIFY(site.log().isEmpty());
        QCOMPARE(desk.beeps, 0);
        QVERIFY(desk.shown.isEmpty());

        // A tick a minute later replaces both on the host.
        desk.clock = T0.addSecs(61);
        main->website()->Timer1Timer();
        QCOMPARE(site.remote("Capture.jpg"), site.local("Capture.jpg"));
        QCOMPARE(site.remote("datetime.bmp"), site.local("datetime.bmp"));
        QVERIFY(site.remote("datetime.bmp") != stamp);
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        VERIFY_LOOK(*main, true);

        // Stop leaves the stop pictures there, byte for byte.
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(!main->Timer1()->isActive());
        VERIFY_LOOK(*main, false);
        QVERIFY(stopPicturesOnHost(site));
        QVERIFY(!main->FtpClient()->Connected());

        // The Tools menu item starts it again, with a fresh frame.
        main->ui()->menuPeriodicUpdate->trigger();
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(site.remote("Capture.jpg"), site.local("Capture.jpg"));
        QVERIFY(site.remote("Capture.jpg") != site.local("stopcap.jpg"));
        main->ui()->menuPeriodicUpdate->trigger();
        QVERIFY(!main->Timer1()->isActive());
        QVERIFY(stopPicturesOnHost(site));
        QVERIFY(site.log().isEmpty());
    }

    void closeWhileRunningPublishesStopPictures() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        SilentSmtp mailHost;
        {
            auto main = site.open();
            main->ui()->BitBtnFrameCap->click();
            QVERIFY(main->Timer1()->isActive());
            QVERIFY(site.remote("Capture.jpg") != site.local("stopcap.jpg"));
            QVERIFY(mailHost.holdOpen(*main->SmtpClient()));

            main->close();
            QVERIFY(stopPicturesOnHost(site));
            QVERIFY(!main->Timer1()->isActive());
            QVERIFY(main->ui()->stWebUpdate->isHidden());
            QVERIFY(!main->FtpClient()->Connected());
            // The rest of the close ran: the mail session was dropped, help was closed.
            QVERIFY(!main->SmtpClient()->Connected());
            QCOMPARE(desk.helpRequests.size(), 1);
            QCOMPARE(desk.helpRequests[0].first, HelpCommand::Quit);
        }
        // The stop pictures stand in for the temporary files of the program folder.
        QCOMPARE(site.local("Capture.jpg"), site.local("stopcap.jpg"));
        QCOMPARE(site.local("datetime.bmp"), site.local("stoptime.bmp"));
        QVERIFY(site.log().isEmpty());
    }

    void closeWithHostDownEndsTheCloseThere() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        SilentSmtp mailHost;
        auto main = site.open();
        main->ui()->BitBtnFrameCap->click();
        const QByteArray published = site.remote("Capture.jpg");
        QCOMPARE(published, site.local("Capture.jpg"));
        site.stopFtp();
        QVERIFY(mailHost.holdOpen(*main->SmtpClient()));

        main->close();
        // No stop pictures reached the host; the local copies were made before the attempt.
        QCOMPARE(site.remote("Capture.jpg"), published);
        QCOMPARE(site.local("Capture.jpg"), site.local("stopcap.jpg"));
        QVERIFY(!main->Timer1()->isActive());
        QCOMPARE(site.log(), QStringList{at(T0) + " :   FTP error = " + Refused});
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Failed);
        // Skipped: the SMTP abort and the help close.
        QVERIFY(main->SmtpClient()->Connected());
        QVERIFY(desk.helpRequests.isEmpty());
        // The settings were written before.
        QVERIFY(QFile::exists(site.folder + "Ostrel.sif"));
    }

    void stopAfterAFailedConnectionUploadsNothing() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        auto main = site.open();
        main->ui()->BitBtnFrameCap->click();
        const QByteArray published = site.remote("Capture.jpg");
        QVERIFY(!published.isEmpty());

        // The host refuses the login: the connection of Stop fails (Tag 2).
        main->FtpClient()->setPassWord(QStringLiteral("wrong"));
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(!main->Timer1()->isActive());
        VERIFY_LOOK(*main, false);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Failed);
        QCOMPARE(site.remote("Capture.jpg"), published);
        QCOMPARE(site.remote("datetime.bmp"), site.local("datetime.bmp"));
        // One failure only: the login. No upload was tried after it.
        const QStringList log = site.log();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].startsWith(at(T0) + " :   FTP error = 530"), qPrintable(log[0]));
        // A failed Stop is not a suspension.
        QCOMPARE(main->website()->FailureCount, 0);
    }

    void intervalFromTheField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0") << "0" << 60000 << "1";
        QTest::newRow("1000") << "1000" << 59940000 << "999";
        QTest::newRow("36000") << "36000" << 59940000 << "999";
        QTest::newRow("empty") << "" << 60000 << "1";
        QTest::newRow("17") << "17" << 17 * 60000 << "17";
    }
    // Without an FTP host nothing is sent, nothing fails and nothing is reported.
    void intervalFromTheField() {
        QFETCH(QString, field);
        QFETCH(int, milliseconds);
        QFETCH(QString, shown);
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        site.settings["FTP Settings/FTP_Host"] = QString();
        auto main = site.open();
        main->ui()->EditInterval->setText(field);
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), milliseconds);
        QCOMPARE(main->ui()->EditInterval->text(), shown);
        main->website()->Timer1Timer();
        QCOMPARE(main->Timer1()->interval(), milliseconds);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main->website()->FailureCount, 0);
        QVERIFY(site.log().isEmpty());
        QCOMPARE(main->statusPanel(1)->text(), QString());
        QCOMPARE(desk.beeps, 0);
        // The frame and the stamp are still made each time.
        QVERIFY(decodeJpeg(site.local("Capture.jpg")).ok);
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(!main->Timer1()->isActive());
        // The stopped update keeps the interval the field now shows for the next close.
        main->close();
        QCOMPARE(
            IniFile(site.folder + "Ostrel.sif").readString("FTP Settings", "Update_Interval", "x"),
            shown);
    }

    void hostDownSuspendsEveryTenMinutes() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.deadPort());
        site.settings["Other Settings/ErrorBeep"] = "1";
        auto main = site.open();
        auto* timer = main->Timer1();

        // A failure at Start counts as the first; the timer still runs at the update interval.
        main->ui()->BitBtnFrameCap->click();
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Suspended);
        QCOMPARE(main->website()->FailureCount, 1);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 2 * 60000);
        QCOMPARE(main->statusPanel(1)->text(), Refused);
        QStringList expected{at(T0) + " :   FTP error = " + Refused};
        QCOMPARE(site.log(), expected);
        VERIFY_LOOK(*main, true);

        for (int failure = 2; failure <= 10; ++failure) {
            tickLater(desk, *main);
            expected << at(desk.clock) + " :   FTP error = " + Refused;
            if (failure >= 2 && failure <= 7)
                expected << at(desk.clock) +
                                " :   FTP Host unreachable. Website Update will be suspended "
                                "during 10 minutes.";
            QCOMPARE(site.log(), expected);
            QCOMPARE(main->website()->FailureCount, failure);
            QCOMPARE(main->FtpClient()->Tag(), ftptag::Suspended);
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), SuspensionInterval);
        }
        // Without DisableOnFail it goes on retrying, still looking started.
        VERIFY_LOOK(*main, true);
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(desk.beeps, 10); // Beep on Errors: one per failed attempt
        QCOMPARE(site.log().filter("FTP error = ").size(), 10);
        QCOMPARE(site.log().filter("suspended during 10 minutes").size(), 6);
    }

    void hostBackReestablishesTheUpdate() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.deadPort());
        auto main = site.open();
        main->ui()->BitBtnFrameCap->click();
        tickLater(desk, *main);
        tickLater(desk, *main);
        QCOMPARE(main->website()->FailureCount, 3);
        QCOMPARE(main->Timer1()->interval(), SuspensionInterval);

        QVERIFY(site.startFtp()); // the same host, back on the same port
        tickLater(desk, *main);
        QCOMPARE(site.log().last(), at(desk.clock) +
                                        " :   Website Update was reestablished. Reason: FTP "
                                        "Host is reachable again");
        QCOMPARE(site.log().size(), 3 + 2 + 1); // three failures, two suspensions, back
        QCOMPARE(main->website()->FailureCount, 0);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Succeeded);
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        // The tick that re-established also published.
        QCOMPARE(site.remote("Capture.jpg"), site.local("Capture.jpg"));
        QCOMPARE(site.remote("datetime.bmp"), site.local("datetime.bmp"));

        // The next failure starts the count afresh: no suspension line for a first failure.
        site.stopFtp();
        tickLater(desk, *main);
        QCOMPARE(main->website()->FailureCount, 1);
        QCOMPARE(site.log().last(), at(desk.clock) + " :   FTP error = " + Refused);
    }

    void stopWhileSuspendedWithTheHostBack() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.deadPort());
        auto main = site.open();
        main->ui()->BitBtnFrameCap->click();
        tickLater(desk, *main);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::Suspended);

        QVERIFY(site.startFtp());
        desk.clock = desk.clock.addSecs(30);
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(stopPicturesOnHost(site));
        QCOMPARE(site.log().last(), at(desk.clock) +
                                        " :   Website Update was reestablished. Reason: FTP "
                                        "Host is reachable again");
        QVERIFY(!main->Timer1()->isActive());
        QCOMPARE(main->website()->FailureCount, 0);
        VERIFY_LOOK(*main, false);
    }

    // The eighth failure in a row disables the update and mails the live destination
    // address of the network settings (here edited after the last save).
    void eighthFailureDisablesAndMails() {
        ScriptedDesktop desk;
        desk.clock = T0;
        QTemporaryDir mailDir;
        PeerServer mailHost(peerScript(QStringLiteral("smtp_server.py")), {mailDir.path()});
        QVERIFY2(mailHost.start(), qPrintable(mailHost.error()));
        Site site;
        QVERIFY(site.deadPort());
        site.settings["Protocol Settings/DisableOnFail"] = "1";
        site.settings["Protocol Settings/FailNotification"] = "1";
        site.settings["Email Settings/SMTP_Host"] = "127.0.0.1";
        site.settings["Email Settings/SMTP_Port"] = QString::number(mailHost.port());
        site.settings["Email Settings/User_Address"] = "camera@example.org";
        site.settings["Email Settings/Destination_Address"] = "old@example.org";
        site.settings["Email Settings/CC_Address"] = "copy@example.org";
        auto main = site.open();
        QVERIFY(main->Network.failNotification);
        main->Network.destinationAddress = QStringLiteral("owner@example.org");

        main->ui()->BitBtnFrameCap->click();
        for (int failure = 2; failure <= 7; ++failure)
            tickLater(desk, *main);
        QCOMPARE(main->website()->FailureCount, 7);
        QVERIFY(desk.shown.isEmpty());
        QVERIFY(!main->SmtpClient()->Connected());

        bool boxSeen = false;
        desk.onMessageBox = [&](const ScriptedDesktop::Shown& box) {
            boxSeen = true;
            // The box comes after the mail was started and the line was logged, and
            // before the window looks stopped.
            QCOMPARE(site.log().last(), at(desk.clock) +
                                            " :   Website Update was disabled. Reason: consistent "
                                            "FTP errors: host unreachable");
            QVERIFY(!main->SmtpClient()->Ready() || main->SmtpClient()->Connected());
            QCOMPARE(main->ui()->BitBtnFrameCap->text(), QString("Stop"));
            QCOMPARE(box.kind, MsgKind::Warning);
            QCOMPARE(box.buttons, MsgButtons(MsgButton::Ok));
        };
        tickLater(desk, *main);
        desk.onMessageBox = {};
        QVERIFY(boxSeen);
        QCOMPARE(desk.shownTexts(), QStringList{DisabledWarning});
        const QDateTime disabledAt = desk.clock;

        VERIFY_LOOK(*main, false);
        QVERIFY(!main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main->website()->FailureCount, 0);
        const QStringList log = site.log();
        QCOMPARE(log.size(), 8 + 6 + 1);
        QCOMPARE(log.mid(log.size() - 2),
                 QStringList({at(disabledAt) + " :   FTP error = " + Refused,
                              at(disabledAt) + " :   Website Update was disabled. Reason: "
                                               "consistent FTP errors: host unreachable"}));
        QVERIFY(site.remote("Capture.jpg").isEmpty());

        // The mail, as the real server received it.
        const QString eml = mailDir.filePath("mail-1.eml");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(eml), 15000);
        const QJsonObject mail =
            QJsonDocument::fromJson(
                runPython(QString::fromLatin1(parseMail), {eml, mailDir.filePath("mail-1.json")}))
                .object();
        QCOMPARE(mail["subject"].toString(),
                 QString("Ostrel: Notification of Website Update error."));
        const QStringList lines{
            " ",
            "Ostrel:  Notification of Website Update error - Camera: Location 1",
            " ",
            "There were consistent FTP errors while trying the periodic Website Update function "
            "of Ostrel.",
            "The remote host was unreachable and remained unreachable after several attempts "
            "during one hour.",
            " ",
            "Ostrel has stopped trying to update your website on " + at(disabledAt) +
                " (local system time).",
            " ",
            "Please check your remote host and your network settings."};
        QCOMPARE(mail["text"].toString(), lines.join('\n') + '\n');
        QCOMPARE(mail["attachments"].toInt(), 0);
        const QJsonObject envelope = mail["envelope"].toObject();
        QCOMPARE(envelope["mail_from"].toString(), QString("camera@example.org"));
        QCOMPARE(envelope["rcpt_tos"].toArray(),
                 QJsonArray({"owner@example.org", "copy@example.org"}));
        QTRY_VERIFY_WITH_TIMEOUT(!main->SmtpClient()->Connected(), 10000);
        QVERIFY(site.log().filter("SMTP error").isEmpty());
        QVERIFY(!QFile::exists(mailDir.filePath("mail-2.eml")));

        // The count was reset: starting again is a first failure, not a ninth.
        main->ui()->BitBtnFrameCap->click();
        QCOMPARE(main->website()->FailureCount, 1);
        QVERIFY(main->Timer1()->isActive());
    }

    void disabledWithoutMail_data() {
        QTest::addColumn<bool>("notify");
        QTest::addColumn<QString>("destination");
        QTest::newRow("notification on, no destination") << true << QString();
        QTest::newRow("notification off") << false << QString("owner@example.org");
    }
    void disabledWithoutMail() {
        QFETCH(bool, notify);
        QFETCH(QString, destination);
        ScriptedDesktop desk;
        desk.clock = T0;
        QTemporaryDir mailDir;
        PeerServer mailHost(peerScript(QStringLiteral("smtp_server.py")), {mailDir.path()});
        QVERIFY2(mailHost.start(), qPrintable(mailHost.error()));
        Site site;
        QVERIFY(site.deadPort());
        site.settings["Protocol Settings/DisableOnFail"] = "1";
        site.settings["Protocol Settings/FailNotification"] = notify ? "1" : "0";
        site.settings["Email Settings/SMTP_Host"] = "127.0.0.1";
        site.settings["Email Settings/SMTP_Port"] = QString::number(mailHost.port());
        site.settings["Email Settings/User_Address"] = "camera@example.org";
        site.settings["Email Settings/Destination_Address"] = destination;
        auto main = site.open();

        main->ui()->BitBtnFrameCap->click();
        for (int failure = 2; failure <= 8; ++failure)
            tickLater(desk, *main);
        QCOMPARE(desk.shownTexts(), QStringList{DisabledWarning});
        QVERIFY(!main->Timer1()->isActive());
        VERIFY_LOOK(*main, false);
        QCOMPARE(site.log().last(), at(desk.clock) + " :   Website Update was disabled. Reason: "
                                                     "consistent FTP errors: host unreachable");
        QVERIFY(main->SmtpClient()->Ready());
        QTest::qWait(500);
        QVERIFY(!main->SmtpClient()->Connected());
        QVERIFY(QDir(mailDir.path()).entryList(QDir::Files).isEmpty());
    }

    // Stop and Start keep the failure count, so a Start can be the eighth failure: the
    // update it disables must not run on behind a window that looks stopped.
    void eighthFailureAtStartLeavesTheUpdateOff() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.deadPort());
        site.settings["Protocol Settings/DisableOnFail"] = "1";
        auto main = site.open();
        main->ui()->BitBtnFrameCap->click();
        for (int failure = 2; failure <= 7; ++failure)
            tickLater(desk, *main);
        main->ui()->BitBtnFrameCap->click(); // Stop: its own connection fails too
        QVERIFY(!main->Timer1()->isActive());
        QCOMPARE(main->website()->FailureCount, 7);
        QVERIFY(desk.shown.isEmpty());

        main->ui()->BitBtnFrameCap->click(); // Start: the eighth failure
        QCOMPARE(desk.shownTexts(), QStringList{DisabledWarning});
        QVERIFY(!main->Timer1()->isActive());
        VERIFY_LOOK(*main, false);
        QCOMPARE(main->FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main->website()->FailureCount, 0);

        // The button reads "Start" and starts.
        main->ui()->BitBtnFrameCap->click();
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        QCOMPARE(main->website()->FailureCount, 1);
        VERIFY_LOOK(*main, true);
    }

    void autoStartRunsTheUpdateOnceAtStartUp() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        site.settings["FTP Settings/AutoStart"] = "1";
        auto main = site.open();
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(main->Timer1()->interval(), 2 * 60000);
        QCOMPARE(desk.beeps, 1);
        QVERIFY(desk.shown.isEmpty());
        VERIFY_LOOK(*main, true);
        // The frame was published, not the stop pictures.
        QCOMPARE(site.remote("Capture.jpg"), site.local("Capture.jpg"));
        QCOMPARE(decodeJpeg(site.remote("Capture.jpg")).width, 640);
        QCOMPARE(site.remote("datetime.bmp"), site.local("datetime.bmp"));
        QVERIFY(site.log().isEmpty());
    }

    void emailOnlyAutoStartStillRunsStartOnce() {
        ScriptedDesktop desk;
        desk.clock = T0;
        Site site;
        QVERIFY(site.startFtp());
        site.settings["FTP Settings/AutoStart"] = "1";
        site.settings["Protocol Settings/EmailOnly"] = "1";
        auto main = site.open();
        auto* ui = main->ui();
        QVERIFY(!ui->GroupBox3->isEnabled());
        QCOMPARE(ui->GroupBox3->palette().color(QPalette::WindowText), QColor(128, 128, 128));
        QVERIFY(!ui->BitBtnFrameCap->isEnabled());
        QCOMPARE(desk.beeps, 1);
        QVERIFY(main->Timer1()->isActive());
        QCOMPARE(site.remote("Capture.jpg"), site.local("Capture.jpg"));
        QCOMPARE(ui->BitBtnFrameCap->text(), QString("Stop"));

        // Stopping (the menu item is the one way left) must not unlock what e-mail only locks.
        main->website()->BitBtnFrameCapClick();
        QVERIFY(!main->Timer1()->isActive());
        QVERIFY(stopPicturesOnHost(site));
        QVERIFY(!ui->GroupBox3->isEnabled());
        QVERIFY(!ui->BitBtnFrameCap->isEnabled());
        QVERIFY(!ui->btnWebMgt->isEnabled());
        QVERIFY(!ui->menuRemoteMgt->isEnabled());
        QVERIFY(ui->GroupBox4->isEnabled());
    }

    void intervalFieldTakesDigitsOnly() {
        ScriptedDesktop desk;
        Site site;
        site.settings["FTP Settings/FTP_Host"] = QString();
        auto main = site.open();
        main->show();
        auto* edit = main->ui()->EditInterval;
        edit->setFocus();
        edit->setCursorPosition(edit->text().size());
        QTest::keyClicks(edit, "1m");
        QCOMPARE(edit->text(), QString("21"));
        QCOMPARE(desk.shownTexts(), QStringList{"Invalid entry: m"});
        QCOMPARE(desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(desk.beeps, 1);
    }
};

QTEST_MAIN(TestWebsiteUpdate)
#include "tst_websiteupdate.moc"
