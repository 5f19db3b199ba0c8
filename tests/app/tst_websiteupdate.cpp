// The website update of the main window against a real FTP server (and a real SMTP server
// for the notification mail), in a temporary program folder with the virtual camera: what
// Start, the ticks, Stop and the close leave on the host, how an unreachable host suspends,
// re-establishes and disables the update, and the update started at start-up.
#include "JpegCheck.h"
#include "MainFixture.h"
#include "app/WebsiteController.h"
#include "capture/VideoCapture.h"
#include "net/FtpClient.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "web/WebsiteUpdate.h"
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <clocale>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// Start of every run; each later attempt comes ten minutes after the one before, as the
// suspended timer would bring it.
const QDateTime T0(QDate(2026, 12, 5), QTime(10, 15, 30));
const QString Refused = QStringLiteral("500 Connection refused (Winsock error #10061)");
const int Interval = 2 * 60000; // Update_Interval=2

// "12/05/26 10:25:30" for T0 + 10 minutes: the C locale's %x %X.
QString at(const QDateTime& when) {
    return when.toString(QStringLiteral("MM/dd/yy")) +
           (when.time() == QTime(0, 0)
                ? QString()
                : QLatin1Char(' ') + when.toString(QStringLiteral("hh:mm:ss")));
}

// A program folder with the virtual camera (a still room) and the stop pictures, and the
// FTP login folder the real server serves.
struct Site : Program {
    FtpHost ftp{"webcam", "s3cret"};

    Site() {
        const QString data = qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/data/");
        QFile::copy(data + "stopcap.jpg", path + "stopcap.jpg");
        QFile::copy(data + "stoptime.bmp", path + "stoptime.bmp");
        useCamera();
        set("FTP Settings", "FTP_Host", "127.0.0.1");
        set("FTP Settings", "User_ID", ftp.user);
        set("FTP Settings", "Password", ftp.password);
        set("FTP Settings", "FTP_Timeout", "10");
        set("FTP Settings", "Update_Interval", "2");
        desk.clock = T0;
    }
    ~Site() { main.reset(); } // before the server goes

    // A port the client will find nobody listening on, which the server can take later.
    bool deadPort() {
        if (!ftp.start()) return false;
        ftp.stop();
        return true;
    }
    TMain& openSite() {
        set("FTP Settings", "FTP_Port", QString::number(ftp.port));
        return open();
    }

    void click() { ui()->BitBtnFrameCap->click(); }
    // Ten minutes later, one tick.
    void tickLater() {
        desk.clock = desk.clock.addSecs(600);
        main->website()->Timer1Timer();
    }
    // Start, then ticks until `n` attempts have failed.
    void failTimes(int n) {
        click();
        for (int failure = 2; failure <= n; ++failure) tickLater();
    }

    QByteArray remote(const QString& name) const { return ftp.file(name); }
    bool stopPicturesOnHost() const {
        return remote("Capture.jpg") == read("stopcap.jpg") &&
               remote("datetime.bmp") == read("stoptime.bmp");
    }
    bool framePublished() const {
        return remote("Capture.jpg") == read("Capture.jpg") &&
               remote("datetime.bmp") == read("datetime.bmp") &&
               remote("Capture.jpg") != read("stopcap.jpg");
    }
    // The lines of Error.log without the empty one a new log starts with.
    QStringList log() const {
        QStringList lines = QString::fromLocal8Bit(read("Error.log")).split("\r\n");
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

} // namespace

class TestWebsiteUpdate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName("Ostrel");
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void startTicksAndStopOnTheHost() {
        Site site;
        QVERIFY(site.ftp.start());
        TMain& main = site.openSite();
        QVERIFY(!main.Timer1()->isActive());

        site.click();
        QVERIFY(main.Timer1()->isActive());
        CHECK(verifyLook(main));
        QCOMPARE(main.Timer1()->interval(), Interval);
        QCOMPARE(main.FtpClient()->Tag(), ftptag::Succeeded);
        QVERIFY(!main.FtpClient()->Connected()); // each upload ends with QUIT
        QVERIFY(site.framePublished()); // the frame and the stamp picture
        const QByteArray stamp = site.remote("datetime.bmp");
        // The busy light is off between attempts.
        QCOMPARE(site.ui()->lblColor->palette().color(QPalette::Window),
                 main.palette().color(QPalette::Button));

        // A tick a minute later replaces both on the host.
        site.desk.clock = T0.addSecs(61);
        main.website()->Timer1Timer();
        QVERIFY(site.framePublished());
        QVERIFY(site.remote("datetime.bmp") != stamp);
        QCOMPARE(main.Timer1()->interval(), Interval);

        // Stop leaves the stop pictures there, byte for byte; the menu now says so.
        site.click();
        QVERIFY(!main.Timer1()->isActive());
        CHECK(verifyLook(main));
        QCOMPARE(site.ui()->menuPeriodicUpdate->text(), QString("Start Web Update"));
        QVERIFY(site.stopPicturesOnHost());

        // The Tools menu item starts it again, with a fresh frame.
        site.ui()->menuPeriodicUpdate->trigger();
        QVERIFY(main.Timer1()->isActive());
        QVERIFY(site.framePublished());
        site.ui()->menuPeriodicUpdate->trigger();
        QVERIFY(!main.Timer1()->isActive());
        QVERIFY(site.stopPicturesOnHost());
        QVERIFY(site.log().isEmpty());
        QCOMPARE(site.desk.beeps, 0);
        VERIFY_NO_BOXES(site.desk);
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
        SilentSmtp mailHost;
        Site site;
        QVERIFY(site.ftp.start());
        TMain& main = site.openSite();
        site.click();
        const QByteArray published = site.remote("Capture.jpg");
        QVERIFY(site.framePublished());
        if (!hostUp) site.ftp.stop();
        QVERIFY(mailHost.holdOpen(*main.SmtpClient()));

        main.close();
        QVERIFY(!main.Timer1()->isActive());
        // The stop pictures stand in for the temporary files of the program folder.
        QCOMPARE(site.read("Capture.jpg"), site.read("stopcap.jpg"));
        QVERIFY(QFile::exists(site.path + "Ostrel.sif"));
        if (hostUp) {
            QVERIFY(site.stopPicturesOnHost());
            QVERIFY(!main.FtpClient()->Connected() && !main.SmtpClient()->Connected());
            QCOMPARE(site.desk.helpRequests.size(), 1);
            QCOMPARE(site.desk.helpRequests[0].first, HelpCommand::Quit);
            site.main.reset();
            QCOMPARE(site.read("datetime.bmp"), site.read("stoptime.bmp"));
            QVERIFY(site.log().isEmpty());
        } else {
            QCOMPARE(site.remote("Capture.jpg"), published);
            QCOMPARE(site.log(), QStringList{at(T0) + " :   FTP error = " + Refused});
            QCOMPARE(main.FtpClient()->Tag(), ftptag::Failed);
            QVERIFY(main.SmtpClient()->Connected());
            QVERIFY(site.desk.helpRequests.isEmpty());
        }
    }

    void stopAfterAFailedConnectionUploadsNothing() {
        Site site;
        QVERIFY(site.ftp.start());
        TMain& main = site.openSite();
        site.click();
        const QByteArray published = site.remote("Capture.jpg");
        QVERIFY(!published.isEmpty());

        // The host refuses the login: the connection of Stop fails.
        main.FtpClient()->setPassWord(QStringLiteral("wrong"));
        site.click();
        QVERIFY(!main.Timer1()->isActive());
        QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Start"));
        QCOMPARE(main.FtpClient()->Tag(), ftptag::Failed);
        QCOMPARE(site.remote("Capture.jpg"), published);
        QCOMPARE(site.remote("datetime.bmp"), site.read("datetime.bmp"));
        // One failure only: the login. No upload was tried after it.
        const QStringList log = site.log();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].startsWith(at(T0) + " :   FTP error = 530"), qPrintable(log[0]));
        QCOMPARE(main.website()->FailureCount, 0); // a failed Stop is not a suspension
    }

    // Without an FTP host nothing is sent, nothing fails and nothing is reported. (The
    // field's clamping itself is tested with updateIntervalFromField.)
    void intervalFromTheField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<QString>("shown");
        QTest::newRow("36000") << "36000" << 59940000 << "999";
        QTest::newRow("17") << "17" << 17 * 60000 << "17";
    }
    void intervalFromTheField() {
        QFETCH(QString, field);
        QFETCH(int, milliseconds);
        QFETCH(QString, shown);
        Site site;
        site.set("FTP Settings", "FTP_Host", "");
        TMain& main = site.openSite();
        site.ui()->EditInterval->setText(field);
        site.click();
        QCOMPARE(main.Timer1()->interval(), milliseconds);
        QCOMPARE(site.ui()->EditInterval->text(), shown);
        main.website()->Timer1Timer();
        QVERIFY(main.Timer1()->isActive());
        QCOMPARE(main.Timer1()->interval(), milliseconds);
        QCOMPARE(main.FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main.website()->FailureCount, 0);
        QVERIFY(site.log().isEmpty());
        QCOMPARE(main.statusPanel(1)->text(), QString());
        QCOMPARE(site.desk.beeps, 0);
        QVERIFY(decodeJpeg(site.read("Capture.jpg")).ok); // the frame is still made
        site.click();
        // The stopped update keeps the interval the field now shows for the next close.
        main.close();
        QCOMPARE(
            IniFile(site.path + "Ostrel.sif").readString("FTP Settings", "Update_Interval", "x"),
            shown);
    }

    void hostDownSuspendsEveryTenMinutes() {
        Site site;
        QVERIFY(site.deadPort());
        site.set("Other Settings", "ErrorBeep", "1");
        TMain& main = site.openSite();
        auto* timer = main.Timer1();

        // A failure at Start counts as the first; the timer still runs at the update interval.
        site.click();
        QCOMPARE(main.FtpClient()->Tag(), ftptag::Suspended);
        QCOMPARE(main.website()->FailureCount, 1);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), Interval);
        QCOMPARE(main.statusPanel(1)->text(), Refused);
        QStringList expected{at(T0) + " :   FTP error = " + Refused};
        QCOMPARE(site.log(), expected);

        for (int failure = 2; failure <= 10; ++failure) {
            site.tickLater();
            expected << at(site.desk.clock) + " :   FTP error = " + Refused;
            if (failure <= 7) expected << at(site.desk.clock) + SuspendedLogEntry;
            QCOMPARE(site.log(), expected);
            QCOMPARE(main.website()->FailureCount, failure);
            QCOMPARE(main.FtpClient()->Tag(), ftptag::Suspended);
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), SuspensionInterval);
        }
        // Without DisableOnFail it goes on retrying, still looking started.
        QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Stop"));
        VERIFY_NO_BOXES(site.desk);
        QCOMPARE(site.desk.beeps, 10); // Beep on Errors: one per failed attempt
    }

    // With the host back after suspensions the next attempt, a tick or Stop, re-establishes.
    void hostBackReestablishesTheUpdate_data() {
        QTest::addColumn<bool>("byStop");
        QTest::newRow("tick") << false;
        QTest::newRow("stop") << true;
    }
    void hostBackReestablishesTheUpdate() {
        QFETCH(bool, byStop);
        Site site;
        QVERIFY(site.deadPort());
        TMain& main = site.openSite();
        site.failTimes(3);
        QCOMPARE(main.website()->FailureCount, 3);
        QCOMPARE(main.Timer1()->interval(), SuspensionInterval);

        QVERIFY(site.ftp.start()); // the same host, back on the same port
        if (byStop) {
            site.desk.clock = site.desk.clock.addSecs(30);
            site.click();
        } else {
            site.tickLater();
        }
        QCOMPARE(site.log().last(), at(site.desk.clock) + ReestablishedLogEntry);
        QCOMPARE(site.log().size(), 3 + 2 + 1); // three failures, two suspensions, back
        QCOMPARE(main.website()->FailureCount, 0);
        if (byStop) {
            QVERIFY(site.stopPicturesOnHost());
            QVERIFY(!main.Timer1()->isActive());
            return;
        }
        QCOMPARE(main.FtpClient()->Tag(), ftptag::Succeeded);
        QCOMPARE(main.Timer1()->interval(), Interval);
        QVERIFY(site.framePublished()); // the tick that re-established also published

        // The next failure starts the count afresh: no suspension line for a first failure.
        site.ftp.stop();
        site.tickLater();
        QCOMPARE(main.website()->FailureCount, 1);
        QCOMPARE(site.log().last(), at(site.desk.clock) + " :   FTP error = " + Refused);
    }

    // The eighth failure in a row disables the update and, when asked to and there is a
    // destination, mails the live destination address of the network settings (here
    // edited after the last save).
    void eighthFailureDisables_data() {
        QTest::addColumn<bool>("notify");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("live");
        QTest::newRow("mailed") << true << "old@example.org" << "owner@example.org";
        QTest::newRow("notification on, no destination") << true << QString() << QString();
        QTest::newRow("notification off") << false << "owner@example.org" << QString();
    }
    void eighthFailureDisables() {
        QFETCH(bool, notify);
        QFETCH(QString, saved);
        QFETCH(QString, live);
        const bool mailed = !live.isEmpty();
        MailServer mails;
        QVERIFY2(mails.server.start(), qPrintable(mails.server.error()));
        Site site;
        QVERIFY(site.deadPort());
        site.set("Protocol Settings", "DisableOnFail", "1");
        site.set("Protocol Settings", "FailNotification", notify ? "1" : "0");
        mails.configure(site, saved);
        site.set("Email Settings", "CC_Address", mailed ? "copy@example.org" : "");
        TMain& main = site.openSite();
        if (mailed) main.Network.destinationAddress = live;

        site.failTimes(7);
        QCOMPARE(main.website()->FailureCount, 7);
        VERIFY_NO_BOXES(site.desk);
        QVERIFY(!main.SmtpClient()->Connected());

        bool boxSeen = false;
        site.desk.onMessageBox = [&](const ScriptedDesktop::Shown& box) {
            boxSeen = true;
            // The box comes after the mail was started and the line was logged, and
            // before the window looks stopped.
            QCOMPARE(site.log().last(), at(site.desk.clock) + DisabledLogEntry);
            if (mailed) QVERIFY(!main.SmtpClient()->Ready() || main.SmtpClient()->Connected());
            QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Stop"));
            QCOMPARE(box.kind, MsgKind::Warning);
        };
        site.tickLater();
        site.desk.onMessageBox = {};
        QVERIFY(boxSeen);
        QCOMPARE(site.desk.shownTexts(), QStringList{DisabledWarning});
        const QDateTime disabledAt = site.desk.clock;

        QVERIFY(!main.Timer1()->isActive());
        CHECK(verifyLook(main));
        QCOMPARE(main.Timer1()->interval(), Interval);
        QCOMPARE(main.FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main.website()->FailureCount, 0);
        const QStringList log = site.log();
        QCOMPARE(log.size(), 8 + 6 + 1);
        QCOMPARE(log.mid(log.size() - 2),
                 QStringList({at(disabledAt) + " :   FTP error = " + Refused,
                              at(disabledAt) + DisabledLogEntry}));
        QVERIFY(site.remote("Capture.jpg").isEmpty());

        if (mailed) {
            // The mail, as the real server received it.
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mails.mail(1)), 15000);
            const QJsonObject mail = mails.parsed(1);
            const FailureMail composed = websiteDisabledMail("Ostrel", "Location 1", disabledAt);
            QCOMPARE(mail["subject"].toString(), composed.subject);
            QCOMPARE(mail["text"].toString(), composed.lines.join('\n') + '\n');
            QVERIFY(mail["attachments"].toArray().isEmpty());
            const QJsonObject envelope = mail["envelope"].toObject();
            QCOMPARE(envelope["mail_from"].toString(), QString("camera@example.org"));
            QCOMPARE(envelope["rcpt_tos"].toArray(),
                     QJsonArray({"owner@example.org", "copy@example.org"}));
            QTRY_VERIFY_WITH_TIMEOUT(!main.SmtpClient()->Connected(), 10000);
            QVERIFY(site.log().filter("SMTP error").isEmpty());
        } else {
            QTest::qWait(500);
            QVERIFY(main.SmtpClient()->Ready() && !main.SmtpClient()->Connected());
        }
        QCOMPARE(mails.mails(), mailed ? 1 : 0);

        // The count was reset: starting again is a first failure, not a ninth.
        site.click();
        QCOMPARE(main.website()->FailureCount, 1);
        QVERIFY(main.Timer1()->isActive());
    }

    // Stop and Start keep the failure count, so a Start can be the eighth failure: the
    // update it disables must not run on behind a window that looks stopped.
    void eighthFailureAtStartLeavesTheUpdateOff() {
        Site site;
        QVERIFY(site.deadPort());
        site.set("Protocol Settings", "DisableOnFail", "1");
        TMain& main = site.openSite();
        site.failTimes(7);
        site.click(); // Stop: its own connection fails too
        QVERIFY(!main.Timer1()->isActive());
        QCOMPARE(main.website()->FailureCount, 7);
        VERIFY_NO_BOXES(site.desk);

        site.click(); // Start: the eighth failure
        QCOMPARE(site.desk.shownTexts(), QStringList{DisabledWarning});
        QVERIFY(!main.Timer1()->isActive());
        QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Start"));
        QCOMPARE(main.FtpClient()->Tag(), ftptag::None);
        QCOMPARE(main.website()->FailureCount, 0);

        // The button reads "Start" and starts.
        site.click();
        QVERIFY(main.Timer1()->isActive());
        QCOMPARE(main.Timer1()->interval(), Interval);
        QCOMPARE(main.website()->FailureCount, 1);
        QCOMPARE(site.ui()->BitBtnFrameCap->text(), QString("Stop"));
    }

    // AutoStart runs Start once at start-up (with a beep), also in e-mail only mode, where
    // stopping (the menu item is the one way left) must not unlock what that mode locks.
    void autoStartRunsTheUpdateOnceAtStartUp_data() {
        QTest::addColumn<bool>("emailOnly");
        QTest::newRow("FTP") << false;
        QTest::newRow("e-mail only") << true;
    }
    void autoStartRunsTheUpdateOnceAtStartUp() {
        QFETCH(bool, emailOnly);
        Site site;
        QVERIFY(site.ftp.start());
        site.set("FTP Settings", "AutoStart", "1");
        site.set("Protocol Settings", "EmailOnly", emailOnly ? "1" : "0");
        TMain& main = site.openSite();
        auto* ui = site.ui();
        QVERIFY(main.Timer1()->isActive());
        QCOMPARE(main.Timer1()->interval(), Interval);
        CHECK(verifyLook(main));
        QCOMPARE(ui->BitBtnFrameCap->text(), QString("Stop"));
        QCOMPARE(site.desk.beeps, 1);
        VERIFY_NO_BOXES(site.desk);
        QVERIFY(site.framePublished());
        QCOMPARE(decodeJpeg(site.remote("Capture.jpg")).width, 640);
        QVERIFY(site.log().isEmpty());
        if (!emailOnly) return;
        QCOMPARE(ui->GroupBox3->palette().color(QPalette::WindowText), QColor(128, 128, 128));
        ui->menuPeriodicUpdate->trigger();
        QVERIFY(!main.Timer1()->isActive());
        QVERIFY(site.stopPicturesOnHost());
        QVERIFY(!ui->BitBtnFrameCap->isEnabled());
    }
};

QTEST_MAIN(TestWebsiteUpdate)
#include "tst_websiteupdate.moc"
