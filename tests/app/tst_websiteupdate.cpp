// The website update of the main window against a real FTP server (and a real SMTP server
// for the notification mail), in a temporary program folder with the virtual camera: what
// Start, the ticks, Stop and the close leave on the host, how an unreachable host suspends,
// re-establishes and disables the update, and the update started at start-up.
#include "MainFixture.h"
#include "app/Outbox.h"
#include "app/RequestReport.h"
#include "app/WebsiteController.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include "web/WebsiteUpdate.h"
#include <QLabel>
#include <QTcpServer>
#include <QTimer>
#include <clocale>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// Start of every run; each later attempt comes ten minutes after the one before, as the
// suspended timer would bring it.
const QDateTime T0(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString Refused =
    QStringLiteral(" :   FTP error = 500 Connection refused (Winsock error #10061)");

// "12/05/26 10:25:30" for T0 + 10 minutes: the C locale's %x %X (never midnight here).
QString at(const QDateTime& when) {
    return when.toString("MM/dd/yy hh:mm:ss");
}

// A program folder with the virtual camera (a still room), the stop pictures and an update
// every 2 minutes, and the real FTP server; without openSite, no FTP host is set.
struct Site : Program {
    FtpHost ftp;
    Site() {
        const QString data = qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/data/");
        QFile::copy(data + "stopcap.jpg", path + "stopcap.jpg");
        QFile::copy(data + "stoptime.bmp", path + "stoptime.bmp");
        useCamera();
        set("FTP Settings", "Update_Interval", "2");
        desk.clock = T0;
    }
    ~Site() { main.reset(); } // before the server goes

    // With `up` false, a port the client finds nobody listening on, which the server can
    // take later.
    TMain& openSite(bool up = true) {
        if (!ftp.start()) qFatal("no FTP server");
        if (!up) ftp.stop();
        useFtp(ftp);
        return open();
    }
    void click() { ui()->BitBtnFrameCap->click(); }
    // Ten minutes later, one tick.
    void tickLater() {
        desk.clock = desk.clock.addSecs(600);
        main->website()->Timer1Timer();
    }
    // The button, the timer and its interval in seconds, the client's Tag, the failures.
    QString state() const {
        return QStringLiteral("%1 %2 %3 tag%4 fail%5")
            .arg(ui()->BitBtnFrameCap->text(), main->Timer1()->isActive() ? "on" : "off")
            .arg(main->Timer1()->interval() / 1000)
            .arg(main->FtpClient()->Tag())
            .arg(main->website()->FailureCount);
    }

    bool stopPicturesOnHost() const {
        return ftp.file("Capture.jpg") == read("stopcap.jpg") &&
               ftp.file("datetime.bmp") == read("stoptime.bmp");
    }
    bool framePublished() const {
        return ftp.file("Capture.jpg") == read("Capture.jpg") &&
               ftp.file("datetime.bmp") == read("datetime.bmp") &&
               ftp.file("Capture.jpg") != read("stopcap.jpg");
    }
    // The lines of Error.log without the empty one a new log starts with.
    QStringList log() const {
        return QString::fromLocal8Bit(read("Error.log")).split("\r\n", Qt::SkipEmptyParts);
    }
};

// An SMTP server that greets, then says nothing: a mail session to it stays open.
struct SilentSmtp : QTcpServer {
    SilentSmtp() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection,
                [this] { nextPendingConnection()->write("220 quiet ESMTP\r\n"); });
    }
};

// How the eighth failure is met: FailNotification, the destination saved and the live one
// (empty: none), the copy address, by a Start, and with a mail under way.
struct Disabling {
    bool notify;
    QString saved, live, cc;
    bool byStart = false, busy = false;
};

} // namespace

Q_DECLARE_METATYPE(Disabling)

class TestWebsiteUpdate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName("Ostrel");
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void startTicksAndStopOnTheHost() {
        Site site;
        TMain& main = site.openSite();
        site.click();
        QCOMPARE(site.state(), "Stop on 120 tag1 fail0");
        QVERIFY(!main.FtpClient()->Connected()); // each upload ends with QUIT
        QVERIFY(site.framePublished());          // the frame and the stamp picture
        const QByteArray stamp = site.ftp.file("datetime.bmp");
        // The busy light is off between attempts.
        QCOMPARE(site.ui()->lblColor->palette().color(QPalette::Window),
                 main.palette().color(QPalette::Button));

        // A tick a minute later replaces both on the host.
        site.desk.clock = T0.addSecs(61);
        main.website()->Timer1Timer();
        QVERIFY(site.framePublished());
        QCOMPARE_NE(site.ftp.file("datetime.bmp"), stamp);
        QCOMPARE(site.state(), "Stop on 120 tag1 fail0");

        // Stop leaves the stop pictures there, byte for byte; the menu now says so.
        site.click();
        QCOMPARE(site.state(), "Start off 120 tag1 fail0");
        QVERIFY(site.stopPicturesOnHost());

        // The Tools menu item starts it again, with a fresh frame.
        site.ui()->menuPeriodicUpdate->trigger();
        QVERIFY(main.Timer1()->isActive());
        QVERIFY(site.framePublished());
        QVERIFY(site.log().isEmpty());
        VERIFY_NO_BOXES(site.desk);

        // A Stop whose login fails is no suspension, and uploads nothing after the failure;
        // without Beep on Errors it makes no sound.
        main.FtpClient()->setPassWord(QStringLiteral("wrong"));
        site.ui()->menuPeriodicUpdate->trigger();
        QCOMPARE(site.state(), "Start off 120 tag2 fail0");
        QVERIFY(site.framePublished());
        QCOMPARE(site.log().size(), 1);
        QVERIFY2(site.log()[0].startsWith(at(site.desk.clock) + " :   FTP error = 530"),
                 qPrintable(site.log()[0]));
        QCOMPARE(site.desk.beeps, 0);

        // Too little room on the disk: the update runs, but makes and uploads no pictures.
        const QByteArray picture = site.read("Capture.jpg");
        site.freeMb.mb = [] { return 0; };
        site.ui()->menuPeriodicUpdate->trigger();
        QVERIFY(main.Timer1()->isActive());
        QCOMPARE(site.read("Capture.jpg"), picture);
        QCOMPARE(site.ftp.file("Capture.jpg"), picture);
        QCOMPARE(main.statusPanel(1)->text(), "Website pictures not saved or uploaded: only 0 MB "
                                              "free on the disk, 500 MB wanted");
    }

    // AutoStart runs Start once at start-up (with a beep), also in e-mail only mode, where
    // stopping (the menu item is the one way left) must not unlock what that mode locks.
    // Over FTP with TLS, the host's own certificate trusted: the frame, the stamp and the
    // stop pictures arrive byte for byte.
    void autoStartOverTls_data() { ftpTlsRows(); }
    void autoStartOverTls() {
        QFETCH(QString, peer);
        QFETCH(QString, security);
        QFETCH(bool, passive);
        Site site;
        QVERIFY(site.ftp.useTls(security, peer, passive));
        site.set("FTP Settings", "AutoStart", "1");
        site.set("Protocol Settings", "EmailOnly", "1");
        TMain& main = site.openSite();
        QCOMPARE(site.state(), "Stop on 120 tag1 fail0");
        CHECK(verifyLook(main));
        QCOMPARE(site.desk.beeps, 1);
        VERIFY_NO_BOXES(site.desk);
        QVERIFY(site.framePublished());
        QCOMPARE(site.ui()->GroupBox3->palette().color(QPalette::WindowText),
                 QColor(128, 128, 128));
        site.ui()->menuPeriodicUpdate->trigger();
        QVERIFY(!main.Timer1()->isActive());
        QVERIFY(site.stopPicturesOnHost());
        QVERIFY(!site.ui()->BitBtnFrameCap->isEnabled());
        QVERIFY(site.log().isEmpty());
        QVERIFY(!main.FtpClient()->Connected());
    }

    // The close publishes the stop pictures, then goes on (the mail session dropped, help
    // closed); with the host down it ends there, after the settings were written.
    void closeWhileRunning_data() {
        QTest::addColumn<bool>("hostUp");
        QTest::newRow("host up") << true;
        QTest::newRow("host down") << false;
    }
    void closeWhileRunning() {
        QFETCH(bool, hostUp);
        SilentSmtp silentSmtp;
        Site site;
        TMain& main = site.openSite();
        site.click();
        const QByteArray published = site.ftp.file("Capture.jpg");
        if (!hostUp) site.ftp.stop();
        auto* smtp = main.SmtpClient();
        smtp->setHost("127.0.0.1");
        smtp->setPort(QString::number(silentSmtp.serverPort()));
        smtp->RcptName() = QStringList{"someone@example.org"};
        smtp->SendMail();
        QTRY_VERIFY(smtp->Connected());

        main.close();
        QVERIFY(!main.Timer1()->isActive());
        // The stop pictures stand in for the temporary files of the program folder.
        QCOMPARE(site.read("Capture.jpg"), site.read("stopcap.jpg"));
        QVERIFY(QFile::exists(site.path + "Ostrel.sif"));
        QCOMPARE(smtp->Connected(), !hostUp);
        QCOMPARE(site.desk.helpRequests.size(), hostUp ? 1 : 0);
        if (hostUp) {
            QVERIFY(site.stopPicturesOnHost());
            QCOMPARE(site.desk.helpRequests[0].first, HelpCommand::Quit);
            site.main.reset();
            QCOMPARE(site.read("datetime.bmp"), site.read("stoptime.bmp"));
            QVERIFY(site.log().isEmpty());
        } else {
            QCOMPARE(site.ftp.file("Capture.jpg"), published);
            QCOMPARE(site.log(), QStringList{at(T0) + Refused});
            QCOMPARE(main.FtpClient()->Tag(), ftptag::Failed);
        }
    }

    // Without an FTP host nothing is sent, nothing fails and nothing is reported; the timer
    // takes the field's interval, cut to 999 minutes (the cut itself is tested with
    // updateIntervalFromField), and the close writes what the field shows.
    void intervalFromTheFieldWithoutAHost() {
        Site site;
        TMain& main = site.open();
        site.ui()->EditInterval->setText("36000");
        site.click();
        main.website()->Timer1Timer();
        QCOMPARE(site.ui()->EditInterval->text(), QString("999"));
        QCOMPARE(site.state(), "Stop on 59940 tag0 fail0");
        QVERIFY(site.log().isEmpty());
        QCOMPARE(site.desk.beeps, 0);
        QCOMPARE(main.statusPanel(1)->text(), QString());
        QVERIFY(site.read("Capture.jpg").startsWith("\xff\xd8")); // the frame is still made
        site.click();
        main.close();
        IniFile ini(site.path + "Ostrel.sif");
        QCOMPARE(ini.readString("FTP Settings", "Update_Interval", ""), QString("999"));
    }

    // Every failure is logged, each from the second on with a suspension of ten minutes;
    // without DisableOnFail it goes on retrying, looking started. With the host back the
    // next attempt, a tick or Stop, re-establishes the update.
    void hostDownSuspendsUntilItIsBack_data() {
        QTest::addColumn<bool>("byStop");
        QTest::newRow("tick") << false;
        QTest::newRow("stop") << true;
    }
    void hostDownSuspendsUntilItIsBack() {
        QFETCH(bool, byStop);
        Site site;
        site.set("Other Settings", "ErrorBeep", "1");
        TMain& main = site.openSite(false);
        site.click(); // a failure at Start counts as the first
        QCOMPARE(site.state(), "Stop on 120 tag3 fail1");
        QCOMPARE(main.statusPanel(1)->text(), Refused.mid(17));
        QStringList expected{at(T0) + Refused};
        for (int failure = 2; failure <= 10; ++failure) {
            site.tickLater();
            expected << at(site.desk.clock) + Refused;
            if (failure <= 7) expected << at(site.desk.clock) + SuspendedLogEntry;
            QCOMPARE(site.log(), expected);
            QCOMPARE(site.state(), QString("Stop on 600 tag3 fail%1").arg(failure));
        }
        VERIFY_NO_BOXES(site.desk);
        QCOMPARE(site.desk.beeps, 10); // Beep on Errors: one per failed attempt

        QVERIFY(site.ftp.start()); // the same host, back on the same port
        if (byStop) {
            site.desk.clock = site.desk.clock.addSecs(30);
            site.click();
        } else {
            site.tickLater();
        }
        QCOMPARE(site.log().mid(expected.size()),
                 QStringList{at(site.desk.clock) + ReestablishedLogEntry});
        if (byStop) {
            QVERIFY(site.state().startsWith("Start off"));
            QVERIFY(site.state().endsWith("tag1 fail0"));
            QVERIFY(site.stopPicturesOnHost());
            return;
        }
        QCOMPARE(site.state(), "Stop on 120 tag1 fail0");
        QVERIFY(site.framePublished()); // the tick that re-established also published

        // The next failure starts the count afresh: no suspension line for a first failure.
        site.ftp.stop();
        site.tickLater();
        QCOMPARE(main.website()->FailureCount, 1);
        QCOMPARE(site.log().last(), at(site.desk.clock) + Refused);
    }

    // The eighth failure in a row disables the update and, when asked to and there is a
    // destination, mails the destination address of the live network settings (here
    // changed since start-up), after a mail already under way. Stop and Start keep the
    // count, so a Start can be the eighth failure: the update it disables must not run on
    // behind a stopped window.
    void eighthFailureDisables_data() {
        QTest::addColumn<Disabling>("row");
        const char *owner = "owner@example.org", *old = "old@example.org";
        QTest::newRow("mailed") << Disabling{true, old, owner, "copy@example.org"};
        QTest::newRow("a copy to the destination itself goes once")
            << Disabling{true, old, owner, owner};
        QTest::newRow("after the mail under way") << Disabling{true, owner, owner, "", false, true};
        QTest::newRow("notification on, no destination") << Disabling{true, "", "", ""};
        QTest::newRow("notification off") << Disabling{false, owner, "", ""};
        QTest::newRow("at a Start") << Disabling{false, "", "", "", true};
    }
    void eighthFailureDisables() {
        QFETCH(Disabling, row);
        const auto& [notify, saved, live, cc, byStart, busy] = row;
        const bool mailed = !live.isEmpty();
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Site site;
        site.set("Protocol Settings", "DisableOnFail", "1");
        site.set("Protocol Settings", "FailNotification", notify ? "1" : "0");
        mails.configure(site, saved);
        site.set("Email Settings", "CC_Address", cc);
        TMain& main = site.openSite(false);
        if (mailed) main.Network.destinationAddress = live;

        site.click();
        for (int failure = 2; failure <= 7; ++failure)
            site.tickLater();
        if (byStart) site.click(); // Stop: its own connection fails too
        VERIFY_NO_BOXES(site.desk);
        auto* smtp = main.SmtpClient();
        SilentSmtp silentSmtp; // the user's own mail stays under way until it is aborted
        const QString mailPort = smtp->Port();
        if (busy) {
            smtp->setPort(QString::number(silentSmtp.serverPort()));
            smtp->SendMail();
            QTRY_VERIFY(smtp->Connected());
        }

        bool boxSeen = false;
        site.desk.onMessageBox = [&](const ScriptedDesktop::Shown& box) {
            boxSeen = true;
            // The box comes after the mail was started and the line was logged, and
            // before the window looks stopped.
            QCOMPARE(site.log().last(), at(site.desk.clock) + DisabledLogEntry);
            if (mailed) QVERIFY(!smtp->Ready()); // the mail is under way
            QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Stop"));
            QCOMPARE(box.kind, MsgKind::Warning);
        };
        byStart ? site.click() : site.tickLater();
        site.desk.onMessageBox = {};
        QVERIFY(boxSeen);
        QCOMPARE(site.desk.shownTexts(), QStringList{DisabledWarning});
        QCOMPARE(site.state(), "Start off 120 tag0 fail0");
        CHECK(verifyLook(main));
        QCOMPARE(
            site.log().mid(site.log().size() - 2),
            QStringList({at(site.desk.clock) + Refused, at(site.desk.clock) + DisabledLogEntry}));
        if (busy) {
            QCOMPARE(main.outbox().pending(), 1);
            smtp->setPort(mailPort);
            smtp->Abort();
        }

        if (mailed) {
            CHECK(mails.verify(
                1, "Ostrel: Notification of Website Update error.",
                " \nOstrel:  Notification of Website Update error - Camera: Location 1\n \n"
                "There were consistent FTP errors while trying the periodic Website Update "
                "function of Ostrel.\n"
                "The remote host was unreachable and remained unreachable after several attempts "
                "during one hour.\n \n"
                "Ostrel has stopped trying to update your website on 12/05/26 11:25:30 (local "
                "system time).\n \n"
                "Please check your remote host and your network settings.\n",
                cc.isEmpty() || cc == live ? QStringList{live} : QStringList{live, cc}));
            QCOMPARE(mails.parsed(1)["envelope"].toObject()["mail_from"].toString(),
                     "camera@example.org");
            QTRY_VERIFY_WITH_TIMEOUT(!smtp->Connected(), 10000);
            QCOMPARE(site.log().filter("SMTP error").size(), busy ? 1 : 0);
        } else { // no mail begun
            QVERIFY(smtp->Ready());
            QVERIFY(!smtp->Connected());
        }
        QCOMPARE(mails.mails(), mailed ? 1 : 0);

        // The count was reset: starting again is a first failure, not a ninth.
        site.click();
        QCOMPARE(site.state(), "Stop on 120 tag3 fail1");
    }
};

QTEST_MAIN(TestWebsiteUpdate)
#include "tst_websiteupdate.moc"
