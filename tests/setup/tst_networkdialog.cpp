// The network settings dialog in a temporary program folder: what it loads at start-up,
// the field rules, the live upload choice, Save and Cancel, and its help.
#include "../net/NetTestUtil.h"
#include "../net/Peer.h"
#include "../net/ScriptedServer.h"
#include "FakeNetworkHost.h"
#include "app/Settings.h"
#include "setup/AccountTestWindow.h"
#include "setup/dlgNetwork.h"
#include "setup/unNetworkHelp.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_dlgNetwork.h"
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// One start of the program: the folder (with Ostrel.sif holding `ini` unless it is null),
// the main window's parts and the dialog, started.
struct Program {
    QTemporaryDir dir;
    QString folder = dir.path() + "/", file = folder + "Ostrel.sif";
    ScriptedDesktop desk;
    NetworkSettings settings;
    FakeNetworkHost host;
    TFtpClient ftp;
    TSmtpClient smtp;
    std::unique_ptr<TfrmNetwork> dialog;

    explicit Program(const QByteArray& ini = {}) {
        if (QFile f(file); !ini.isNull() && f.open(QIODevice::WriteOnly)) f.write(ini);
        start();
    }
    void start() { dialog = std::make_unique<TfrmNetwork>(folder, settings, host, ftp, smtp); }
    Ui::TfrmNetwork* ui() const { return dialog->ui(); }
    // Shown and active, so focus and keys behave as for the user.
    bool showActive() {
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
    void focus(QWidget* w) {
        w->setFocus();
        QTRY_VERIFY(w->hasFocus());
    }
    // The text fields in tab order; their texts, and then the radio and check boxes ("1"
    // for each one ticked) in tab order.
    QList<QLineEdit*> fields() const {
        return {ui()->edCameraName,    ui()->edFTPhost,   ui()->edPort,
                ui()->edTimeout,       ui()->edUserID,    ui()->edPassword,
                ui()->edSMTPhost,      ui()->edSMTPport,  ui()->edSMTPUserName,
                ui()->edEmailPassword, ui()->edUserEmail, ui()->edDestinationAddress,
                ui()->edCCAddress};
    }
    QStringList texts() const {
        QStringList all;
        for (QLineEdit* edit : fields())
            all << edit->text();
        QString ticks;
        for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
                 ui()->rbEmailOnly, ui()->rbFTPupload, ui()->CheckBoxNotification,
                 ui()->CheckBoxFailDisable, ui()->CheckBoxFailNotification, ui()->CheckBoxPassive,
                 ui()->CheckAutoStart})
            ticks += box->isChecked() ? '1' : '0';
        return all << ticks;
    }
};

} // namespace

class TestNetworkDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    // The choice reaches the main window before the update it may start, which comes once,
    // with a beep. Without a file nothing is applied, started or written, and the interval
    // field keeps its own text.
    void uploadChoiceAtStartup_data() {
        QTest::addColumn<QByteArray>("protocol"); // null: no settings file
        QTest::addColumn<QStringList>("events");
        QTest::newRow("no file") << QByteArray() << QStringList();
        QTest::newRow("both on: e-mail only")
            << QByteArray("EmailOnly=1\r\nFTPupload=1") << QStringList{"email only"};
        QTest::newRow("unreadable: defaults") << QByteArray("EmailOnly=yes") << QStringList{"ftp"};
        QTest::newRow("AutoStart") << QByteArray("EmailOnly=0\r\n[FTP Settings]\r\nAutoStart=1")
                                   << QStringList{"ftp", "start"};
    }
    void uploadChoiceAtStartup() {
        QFETCH(QByteArray, protocol);
        QFETCH(QStringList, events);
        Program p(protocol.isNull() ? protocol
                                    : "[Protocol Settings]\r\nNotification=1\r\n" + protocol);
        const bool emailOnly = events.contains("email only");
        QCOMPARE(p.ui()->rbEmailOnly->isChecked(), emailOnly);
        QCOMPARE(p.ui()->CheckBoxNotification->isEnabled(), !emailOnly);
        QCOMPARE(p.settings.emailOnly, emailOnly);
        QCOMPARE(p.settings.ftpUpload, !emailOnly);
        QCOMPARE(p.host.events, events);
        QCOMPARE(p.desk.beeps, int(events.contains("start")));
        QCOMPARE(p.desk.shownTexts(), QStringList());
        QCOMPARE(p.host.interval, protocol.isNull() ? "3" : "5"); // the key's default
        QCOMPARE(QFile::exists(p.file), !protocol.isNull());
    }

    // The digit filter guards each port and time-out field; emptied, a field shows its
    // default at once.
    void digitFieldsTakeDigitsOnly() {
        Program p;
        QVERIFY(p.showActive());
        for (const auto& [edit, standard] : {std::pair{p.ui()->edPort, "21"},
                                             {p.ui()->edTimeout, "15"},
                                             {p.ui()->edSMTPport, "25"}}) {
            edit->setFocus();
            edit->end(false);
            QTest::keyClicks(edit, "a9"); // the filter's rules are checked with the main window
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            QCOMPARE(edit->text(), QString(standard));
        }
        QCOMPARE(p.desk.beeps, 3);
        QCOMPARE(p.desk.shown.size(), 3);
    }

    void cameraNameHoldsTenCharacters() {
        Program p;
        QVERIFY(p.showActive());
        auto* name = p.ui()->edCameraName;
        name->setFocus();
        name->selectAll();
        QGuiApplication::clipboard()->setText("Warehouse Gate B"); // 16 characters
        QTest::keySequence(name, QKeySequence::Paste);
        QCOMPARE(p.desk.shownTexts(), QStringList{"Maximum 10 characters for Camera Name"});
        QCOMPARE(name->text(), QString("Warehouse "));
        QCOMPARE(p.desk.beeps, 1);
        // A character outside the basic plane counts as one and is never split.
        const QString camera = QString("Caf") + QString::fromUcs4(U"\U0001F4F7") + "123456";
        name->setText(camera);
        QCOMPARE(p.desk.beeps, 1);
        name->setText(camera + QString::fromUcs4(U"\U0001F4F7"));
        QCOMPARE(name->text(), camera);
        QCOMPARE(p.desk.beeps, 2);
    }

    // Leaving by mouse for the host name field, which holds nothing to check, or by Tab for
    // a second bad address, whose own check must not take the focus back.
    void addressesAreCheckedWhenLeft_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addColumn<bool>("toBadNeighbour");
        auto row = [](const char* tag, const char* name, const char* text, const char* error,
                      bool toBad = false) {
            QTest::newRow(tag) << QString(name) << QString(text) << QString(error) << toBad;
        };
        const char* required = "A valid email address is required.";
        row("user, empty", "edUserEmail", "", required);
        row("user, no dot", "edUserEmail", "a@b", required);
        row("user, no @", "edUserEmail", "a.b", required);
        row("user, dot before @", "edUserEmail", "x.y@z", "");
        row("destination, empty", "edDestinationAddress", "", "");
        row("destination, no dot", "edDestinationAddress", "a@b", required);
        row("cc, empty", "edCCAddress", "", "");
        row("cc, no dot", "edCCAddress", "a@b", "Invalid email address.");
        row("cc, fine", "edCCAddress", "a@b.c", "");
        row("user, empty, for a bad destination", "edUserEmail", "", required, true);
    }
    void addressesAreCheckedWhenLeft() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(bool, toBadNeighbour);
        Program p;
        QVERIFY(p.showActive());
        QLineEdit* edit = p.dialog->findChild<QLineEdit*>(name);
        QLineEdit* next = toBadNeighbour ? p.ui()->edDestinationAddress : p.ui()->edFTPhost;
        if (toBadNeighbour) next->setText("nobody");
        edit->setText(text);
        p.focus(edit);
        QSignalSpy moved(qApp, &QApplication::focusChanged);
        if (toBadNeighbour)
            QTest::keyClick(edit, Qt::Key_Tab);
        else
            next->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(!moved.isEmpty());
        QCoreApplication::processEvents(); // the field check the move queued
        QCOMPARE(p.desk.shownTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(p.desk.beeps, error.isEmpty() ? 0 : 1);
        QVERIFY((error.isEmpty() ? next : edit)->hasFocus());
        if (!error.isEmpty()) QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(edit->text(), text);
    }

    // Cancel leaves everything as it was: the live settings (which remote host management and
    // the close read), the clients, the file, the stored passwords and the e-mail-only mode.
    // Leaving a field for Cancel, Escape or Help asks nothing. Each showing shows the live
    // settings, also what others (the setup wizard) wrote there. A Save that fails stays.
    void cancelEscapeAndHelp() {
        const QByteArray original = "[FTP Settings]\r\nFTP_Host=old.example.org\r\n"
                                    "User_ID=old\r\nPassword=old pass\r\n";
        Program p(original);
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        QCOMPARE(ui->CheckBoxNotification->isEnabled(), false);
        QTest::mouseClick(ui->rbFTPupload, Qt::LeftButton);
        QCOMPARE(ui->CheckBoxNotification->isEnabled(), true);
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        ui->edFTPhost->setText("new.example.org");
        ui->edUserID->setText("new");
        ui->edPassword->setText("new pass");
        ui->CheckBoxFailDisable->setChecked(true);
        p.focus(ui->edUserEmail); // empty: not a valid address
        // A hand takes its time between press and release: the events in between run.
        QTest::mousePress(ui->btnCancel, Qt::LeftButton);
        QCoreApplication::processEvents();
        QTest::mouseRelease(ui->btnCancel, Qt::LeftButton);
        QCOMPARE(p.dialog->isVisible(), false);
        QCOMPARE(p.dialog->result(), int(QDialog::Rejected));
        QCOMPARE(p.desk.shownTexts(), QStringList());
        QCOMPARE(ostrel::test::readFile(p.file), original);
        QCOMPARE(p.ftp.HostName(), QString());
        QCOMPARE(p.host.applied.size(), 0);
        QCOMPARE(QStringList({p.settings.ftpHost, p.settings.userId, p.settings.ftpPassword,
                              p.host.ftpPassword}),
                 QStringList({"old.example.org", "old", "old pass", "old pass"}));
        QCOMPARE(p.settings.failDisable, false);
        QCOMPARE(p.settings.emailOnly, false);
        QCOMPARE(p.host.events, QStringList({"ftp"})); // the saved choice, at start-up
        p.settings.smtpHost = "smtp.example.org";
        QVERIFY(p.showActive());
        QCOMPARE(p.texts().mid(1, 7), QStringList({"old.example.org", "21", "15", "old", "old pass",
                                                   "smtp.example.org", "25"}));
        QCOMPARE(p.texts().last(), QString("0100010"));
        QCOMPARE(ui->CheckBoxNotification->isEnabled(), true);

        ui->edCCAddress->setText("bad");
        p.focus(ui->edCCAddress);
        QTest::keyClick(ui->edCCAddress, Qt::Key_Escape);
        QVERIFY(!p.dialog->isVisible());
        QCoreApplication::processEvents(); // a check queued by the close asks nothing

        // The help is there to be read, also about the field being left: F1 and the button.
        QVERIFY(p.showActive());
        p.focus(ui->edCCAddress);
        QTest::keyClick(ui->edCCAddress, Qt::Key_F1);
        QCOMPARE(p.desk.helpRequests, (QList<QPair<HelpCommand, int>>{{HelpCommand::Context, 15}}));
        QTest::mousePress(ui->btnHelp, Qt::LeftButton);
        QCoreApplication::processEvents();
        QTest::mouseRelease(ui->btnHelp, Qt::LeftButton);
        QVERIFY(p.dialog->helpWindow()->isVisible());
        QVERIFY(p.dialog->isVisible());
        p.dialog->reject();
        QVERIFY(p.dialog->helpWindow()->isVisible()); // a window of its own
        QCOMPARE(p.desk.shownTexts(), QStringList());

        // A Save that cannot write keeps the dialog open and applies nothing.
        QVERIFY(QFile::remove(p.file));
        QVERIFY(QDir(p.folder).mkdir("Ostrel.sif"));
        QVERIFY(p.showActive());
        ui->edPassword->setText("new pass");
        ui->OKBtn->click();
        QVERIFY(p.dialog->isVisible());
        QCOMPARE(p.desk.shown.size(), 1);
        QVERIFY(p.desk.shown.first().text.startsWith("Unable to write to"));
        QCOMPARE(p.ftp.HostName(), QString());
        QCOMPARE(p.host.applied.size(), 0);
        QCOMPARE(p.host.ftpPassword, QString("old pass"));
    }

    // Save writes every key (the time-out as typed, read back as a number), applies the
    // settings to the running clients (passwords included) and to the main window,
    // starts nothing, and the next start loads them all back.
    void saveWritesAppliesAndReloads_data() {
        QTest::addColumn<QString>("cc");
        QTest::addColumn<QString>("to");
        QTest::newRow("no copy") << QString() << QString("you@example.org");
        QTest::newRow("copy") << QString("boss@example.org")
                              << QString("you@example.org , boss@example.org");
    }
    void saveWritesAppliesAndReloads() {
        QFETCH(QString, cc);
        QFETCH(QString, to);
        Program p("[Motion Detection]\r\nTreshold=12\r\n");
        p.smtp.RcptName() << "old@example.org";
        QVERIFY(p.showActive());
        p.host.interval = "9"; // typed in the main window since
        auto* ui = p.ui();
        const QStringList typed{"Shed",           "ftp.example.org",  "2121", "045",    "cam",
                                "p=ss;word",      "mail.example.org", "587",  "me",     "m pass",
                                "me@example.org", "you@example.org",  cc,     "1001101"};
        for (int i = 0; i < 13; ++i)
            p.fields()[i]->setText(typed[i]);
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
                 ui->CheckBoxFailDisable, ui->CheckBoxFailNotification, ui->CheckBoxPassive,
                 ui->CheckAutoStart})
            box->toggle();
        ui->seMinFreeMb->setValue(120);
        p.focus(ui->edFTPhost);
        QTest::keyClick(ui->edFTPhost, Qt::Key_Return); // the default button
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), QDialog::Accepted);
        QCOMPARE(p.desk.shownTexts(), QStringList());

        // The main window's own keys stay. The next start below shows that every key was
        // written.
        const StoredSettings s = readStoredSettings(IniFile(p.file));
        QCOMPARE(s.window.treshold, 12);
        QCOMPARE(s.updateInterval, "9");
        QCOMPARE(s.window.minFreeMb, 120);
        QCOMPARE(p.host.minFree, 120);
        QCOMPARE(QFile(p.file).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());

        QCOMPARE(
            QStringList({p.ftp.HostName(), p.ftp.Port(), QString::number(p.ftp.Timeout()),
                         p.ftp.UserName(), p.ftp.PassWord(), p.smtp.Host(), p.smtp.Port(),
                         p.smtp.Username(), p.smtp.FromName(), p.smtp.HdrFrom(), p.smtp.HdrSender(),
                         p.smtp.HdrTo()}),
            QStringList({"ftp.example.org", "2121", "45", "cam", "p=ss;word", "mail.example.org",
                         "587", "me", "me@example.org", "me@example.org", "me@example.org", to}));
        QVERIFY(!p.ftp.Passive());
        QCOMPARE(p.smtp.RcptName(), QStringList({"you@example.org", cc}).filter("@"));
        // The main window gets the settings as saved, passwords included.
        QCOMPARE(p.host.applied.size(), 1);
        QCOMPARE(p.host.applied.first().emailPassword, QString("m pass"));
        QCOMPARE(p.host.interval, "9");
        QVERIFY(!p.host.events.contains("start"));
        // The live settings and the e-mail-only mode follow the Save, not the clicks.
        QCOMPARE(
            QStringList({p.settings.ftpHost, p.settings.ftpPassword, p.settings.emailPassword}),
            QStringList({"ftp.example.org", "p=ss;word", "m pass"}));
        QCOMPARE(p.host.events, QStringList({"ftp", "email only"}));

        // An emptied port is refilled; the interval goes to the main window's field, the
        // passwords to its stored forms.
        IniFile(p.file).writeString("FTP Settings", "FTP_Port", "");
        p.dialog.reset();
        p.settings = NetworkSettings();
        p.host = FakeNetworkHost();
        p.host.minFree = 70; // the main window's, not the file's
        p.start();
        QCOMPARE(p.ui()->seMinFreeMb->value(), 70);
        QCOMPARE(p.texts(), QStringList(typed).replaceInStrings("2121", "21"));
        QCOMPARE(p.settings.ftpPort, QString("21"));
        QCOMPARE(QStringList({p.host.interval, p.host.ftpPassword, p.host.smtpPassword}),
                 QStringList({"9", "p=ss;word", "m pass"}));
        QCOMPARE(p.host.events,
                 QStringList({"email only", "start"})); // AutoStart, after the choice
    }

    // The Test buttons log in for real with the fields as they stand and tell the outcome in
    // plain words; a refused certificate is shown and, once trusted, kept with the account.
    void accountTests() {
        QTemporaryDir root, mails, certs;
        const QString fingerprint = makeCertificate(certs.path());
        QVERIFY(!fingerprint.isEmpty());
        QVERIFY(writeFile(root.filePath("Front.jpg"), "x"));
        PeerServer ftpd(peerScript("ftp_server.py"), {root.path(), "cam", "s3cret"});
        PeerServer ftps(peerScript("ftp_server.py"),
                        {root.path(), "cam", "s3cret", "--tls-explicit", certs.filePath("cert.pem"),
                         certs.filePath("key.pem")});
        PeerServer smtpd(peerScript("smtp_server.py"),
                         {mails.path(), "--starttls", certs.filePath("cert.pem"),
                          certs.filePath("key.pem"), "--auth", "cam", "s3cret"});
        QVERIFY(ftpd.start());
        QVERIFY(ftps.start());
        QVERIFY(smtpd.start());
        const QString hex = fingerprint.section('=', 1);
        quint16 closedPort = 0;
        if (QTcpServer probe; probe.listen(QHostAddress::LocalHost))
            closedPort = probe.serverPort();

        Program p;
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        TfrmAccountTest* window = nullptr;
        const auto outcome = [&] {
            QLabel* label = window->outcomeLabel();
            (void)QTest::qWaitFor([&] { return !label->text().startsWith("Testing"); }, 20000);
            // A screen reader hears what it reads.
            return label->accessibleName() == label->text() ? label->text() : QString();
        };
        const auto run = [&](QPushButton* button) {
            QTest::mouseClick(button, Qt::LeftButton);
            window = p.dialog->findChild<TfrmAccountTest*>();
            return outcome();
        };
        const auto said = [&] { return window->conversation()->toPlainText(); };

        ui->edFTPhost->setText("127.0.0.1");
        ui->edPort->setText(QString::number(ftpd.port()));
        ui->edUserID->setText("cam");
        ui->edPassword->setText("s3cret");
        QCOMPARE(run(ui->btnTestFTP),
                 "Success: logged in to 127.0.0.1 and listed the folder (1 name).");
        QVERIFY(said().contains("> PASS ****"));
        QVERIFY(!said().contains("s3cret"));
        ui->edPassword->setText("guess");
        QVERIFY(run(ui->btnTestFTP)
                    .startsWith("Failed: the server refused the user name or password (530 "));
        ui->edPort->setText(QString::number(closedPort));
        QCOMPARE(run(ui->btnTestFTP),
                 QString("Failed: nothing answers at 127.0.0.1 on port %1. Check the host name and "
                         "the port.")
                     .arg(closedPort));
        // A reply is shown as the server wrote it, never as markup: what the label lays out.
        ScriptedServer marked({{"", "220 ready"}, {"USER", "331 Password required"}},
                              {{"PASS", "530 <b>bold</b><img src=x.png>"}});
        ui->edPort->setText(QString::number(marked.port()));
        QVERIFY(run(ui->btnTestFTP).startsWith("Failed"));
        const auto laidOut = [&] {
            const auto* shown = window->outcomeLabel()->findChild<QTextDocument*>();
            return shown ? shown->toPlainText() : QString();
        };
        QTRY_COMPARE(laidOut(), "Failed: the server refused the user name or password "
                                "(530 <b>bold</b><img src=x.png>).");
        // Over TLS the server's own certificate is refused until trusted.
        ui->edPort->setText(QString::number(ftps.port()));
        ui->edPassword->setText("s3cret");
        ui->cbFTPsecurity->setCurrentIndex(1);
        QVERIFY(run(ui->btnTestFTP).startsWith("Failed: the server's certificate was refused"));
        QTest::mouseClick(window->trustButton(), Qt::LeftButton);
        QCOMPARE(outcome(), "Success: logged in to 127.0.0.1 over an encrypted connection and "
                            "listed the folder (1 name).");

        // The standard port follows the security choice while it is left as it was.
        ui->cbEmailSecurity->setCurrentIndex(2);
        QCOMPARE(ui->edSMTPport->text(), "465");
        ui->cbEmailSecurity->setCurrentIndex(1);
        QCOMPARE(ui->edSMTPport->text(), "587");
        ui->edSMTPhost->setText("127.0.0.1");
        ui->edSMTPport->setText(QString::number(smtpd.port()));
        ui->cbEmailSecurity->setCurrentIndex(0);
        QCOMPARE(ui->edSMTPport->text(), QString::number(smtpd.port()));
        ui->cbEmailSecurity->setCurrentIndex(1);
        ui->edSMTPUserName->setText("cam");
        ui->edEmailPassword->setText("guess");
        QVERIFY(window->trustButton()->isHidden());
        QCOMPARE(run(ui->btnTestEmail),
                 "Failed: the server's certificate was refused: The server's certificate is "
                 "self-signed and not trusted.\nIf this is your own server and you know its "
                 "certificate, compare its SHA-256 fingerprint with this one before you trust "
                 "it:\n" +
                     hex);
        QVERIFY(!window->trustButton()->isHidden());
        QTest::mouseClick(window->trustButton(), Qt::LeftButton);
        QVERIFY(outcome().startsWith("Failed: the server refused the user name or password (535 "));
        ui->edEmailPassword->setText("s3cret");
        QCOMPARE(
            run(ui->btnTestEmail),
            "Success: 127.0.0.1 answered over an encrypted connection and accepted the login.");
        QVERIFY(said().contains("> AUTH PLAIN ****"));
        QVERIFY(!said().contains("s3cret"));

        // Saved, the choice and the trusted certificate stay with the account.
        QTest::mouseClick(ui->OKBtn, Qt::LeftButton);
        const IniFile ini(p.file);
        QCOMPARE(ini.readString("Email Settings", "Security", ""), "STARTTLS");
        QCOMPARE(ini.readString("Email Settings", "Certificate_SHA256", ""), hex);
        QCOMPARE(ini.readString("FTP Settings", "Security", ""), "Explicit");
        QCOMPARE(ini.readString("FTP Settings", "Certificate_SHA256", ""), hex);
        QCOMPARE(p.smtp.security(), TSmtpClient::Security::StartTls);
        QCOMPARE(p.smtp.Password(), "s3cret");
    }
};

QTEST_MAIN(TestNetworkDialog)
#include "tst_networkdialog.moc"
