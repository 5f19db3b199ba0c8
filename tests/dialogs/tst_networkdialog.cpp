// The network settings dialog in a temporary program folder: what it loads at start-up,
// the field rules, the live upload choice, Save and Cancel, and its help.
#include "app/Settings.h"
#include "dialogs/dlgNetwork.h"
#include "dialogs/unNetworkHelp.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_dlgNetwork.h"
#include <QClipboard>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;

namespace {

// The main window as the dialog sees it; `events` keeps the order of what it was asked.
struct FakeHost : NetworkDialogHost {
    QString interval = QStringLiteral("3");
    QString ftpPassword;
    QString smtpPassword;
    QStringList events;
    QList<NetworkSettings> applied;

    QString updateIntervalText() const override { return interval; }
    void setUpdateIntervalText(const QString& text) override { interval = text; }
    QString storedFtpPassword() const override { return ftpPassword; }
    QString storedSmtpPassword() const override { return smtpPassword; }
    void setStoredPasswords(const QString& ftp, const QString& smtp) override {
        ftpPassword = ftp;
        smtpPassword = smtp;
    }
    void setEmailOnlyMode(bool emailOnly) override {
        events << (emailOnly ? QStringLiteral("email only") : QStringLiteral("ftp"));
    }
    void applySavedSettings(const NetworkSettings& saved) override { applied << saved; }
    void startWebsiteUpdate() override { events << QStringLiteral("start"); }
};

#define VERIFY_NO_BOXES(desk)                                                                      \
    QVERIFY2((desk).shown.isEmpty(), qPrintable((desk).shownTexts().join("; ")))

// One start of the program: the folder (with Ostrel.sif unless `ini` is null), the main
// window's parts and the dialog.
struct Program {
    QTemporaryDir dir;
    QString folder = dir.path() + "/";
    ScriptedDesktop desk;
    NetworkSettings settings;
    FakeHost host;
    TFtpClient ftp;
    TSmtpClient smtp;
    std::unique_ptr<TfrmNetwork> dialog;

    explicit Program(const QByteArray& ini = {}) {
        QFile f(file());
        if (!ini.isNull() && f.open(QIODevice::WriteOnly)) f.write(ini);
    }
    QString file() const { return folder + "Ostrel.sif"; }
    QByteArray fileText() const {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    TfrmNetwork& start() {
        dialog = std::make_unique<TfrmNetwork>(folder, settings, host, ftp, smtp);
        return *dialog;
    }
    Ui::TfrmNetwork* ui() const { return dialog->ui(); }
    QLineEdit* field(const QString& name) const { return dialog->findChild<QLineEdit*>(name); }
    // Shown and active, so focus and keys behave as for the user.
    bool showActive() {
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
    bool open() {
        start();
        return showActive();
    }
};

// The text fields in tab order.
QList<QLineEdit*> fields(Ui::TfrmNetwork* ui) {
    return {ui->edCameraName,   ui->edFTPhost,       ui->edPort,      ui->edTimeout,
            ui->edUserID,       ui->edPassword,      ui->edSMTPhost,  ui->edSMTPport,
            ui->edSMTPUserName, ui->edEmailPassword, ui->edUserEmail, ui->edDestinationAddress,
            ui->edCCAddress};
}
// The radio and check boxes in tab order, "1" for each one ticked.
QString ticks(Ui::TfrmNetwork* ui) {
    QString all;
    for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
             ui->rbEmailOnly, ui->rbFTPupload, ui->CheckBoxNotification, ui->CheckBoxFailDisable,
             ui->CheckBoxFailNotification, ui->CheckBoxPassive, ui->CheckAutoStart})
        all += box->isChecked() ? '1' : '0';
    return all;
}

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
        QTest::addColumn<bool>("emailOnly");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("no file") << QByteArray() << false << QStringList();
        QTest::newRow("e-mail only")
            << QByteArray("EmailOnly=1\r\nFTPupload=0\r\n") << true << QStringList{"email only"};
        QTest::newRow("both on: e-mail only counts")
            << QByteArray("EmailOnly=1\r\nFTPupload=1\r\n") << true << QStringList{"email only"};
        QTest::newRow("ftp") << QByteArray("EmailOnly=0\r\nFTPupload=1\r\n") << false
                             << QStringList{"ftp"};
        QTest::newRow("both off: ftp")
            << QByteArray("EmailOnly=0\r\nFTPupload=0\r\n") << false << QStringList{"ftp"};
        QTest::newRow("unreadable: defaults")
            << QByteArray("EmailOnly=yes\r\n") << false << QStringList{"ftp"};
        QTest::newRow("e-mail only with AutoStart")
            << QByteArray("EmailOnly=1\r\n[FTP Settings]\r\nAutoStart=1\r\n") << true
            << QStringList{"email only", "start"};
        QTest::newRow("AutoStart") << QByteArray("EmailOnly=0\r\n[FTP Settings]\r\nAutoStart=1\r\n")
                                   << false << QStringList{"ftp", "start"};
    }
    void uploadChoiceAtStartup() {
        QFETCH(QByteArray, protocol);
        QFETCH(bool, emailOnly);
        QFETCH(QStringList, events);
        Program p(protocol.isNull() ? QByteArray()
                                    : "[Protocol Settings]\r\nNotification=1\r\n" + protocol);
        p.start();
        QCOMPARE(p.ui()->rbEmailOnly->isChecked(), emailOnly);
        QCOMPARE(p.ui()->rbFTPupload->isChecked(), !emailOnly);
        QCOMPARE(p.ui()->CheckBoxNotification->isEnabled(), !emailOnly);
        QCOMPARE(p.settings.emailOnly, emailOnly);
        QCOMPARE(p.settings.ftpUpload, !emailOnly);
        QCOMPARE(p.host.events, events);
        QCOMPARE(p.desk.beeps, int(events.contains("start")));
        VERIFY_NO_BOXES(p.desk);
        QCOMPARE(p.host.interval, protocol.isNull() ? "3" : "5"); // the key's default
        QCOMPARE(QFile::exists(p.file()), !protocol.isNull());
    }

    void choosingTheUploadActsAtOnce() {
        Program p;
        QVERIFY(p.open());
        auto* ui = p.ui();
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        QVERIFY(!ui->CheckBoxNotification->isEnabled());
        QVERIFY(p.settings.emailOnly && !p.settings.ftpUpload);
        QCOMPARE(p.host.events, QStringList{"email only"});
        QTest::mouseClick(ui->rbFTPupload, Qt::LeftButton);
        QVERIFY(ui->CheckBoxNotification->isEnabled());
        QVERIFY(!p.settings.emailOnly && p.settings.ftpUpload);
        QCOMPARE(p.host.events, QStringList({"email only", "ftp"}));
        // Cancel takes nothing back: the choice stands until the next change.
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        ui->btnCancel->click();
        QVERIFY(p.settings.emailOnly);
        QCOMPARE(p.host.events.last(), QString("email only"));
        QVERIFY(!QFile::exists(p.file()));
    }

    void digitFieldsTakeDigitsOnly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("standard");
        QTest::newRow("FTP port") << QString("edPort") << QString("21");
        QTest::newRow("FTP time-out") << QString("edTimeout") << QString("15");
        QTest::newRow("SMTP port") << QString("edSMTPport") << QString("25");
    }
    void digitFieldsTakeDigitsOnly() {
        QFETCH(QString, name);
        QFETCH(QString, standard);
        Program p;
        QVERIFY(p.open());
        QLineEdit* edit = p.field(name);
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, "a0");
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(p.desk.shownTexts(), QStringList{"Invalid entry: a"});
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(edit->text(), standard + "0");

        // Emptied, the field shows its default at once, and so do the live settings.
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), standard);
        edit->clear();
        QCOMPARE(edit->text(), standard);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClicks(edit, "9");
        const QString live = name == "edPort"      ? p.settings.ftpPort
                             : name == "edTimeout" ? p.settings.ftpTimeout
                                                   : p.settings.smtpPort;
        QCOMPARE(live, "9" + standard);
        QCOMPARE(p.desk.shown.size(), 1);
    }

    void cameraNameHoldsTenCharacters() {
        Program p;
        QVERIFY(p.open());
        auto* name = p.ui()->edCameraName;
        name->setFocus();
        name->selectAll();
        QGuiApplication::clipboard()->setText("Warehouse Gate B"); // 16 characters
        QTest::keySequence(name, QKeySequence::Paste);
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(p.desk.shownTexts(), QStringList{"Maximum 10 characters for Camera Name"});
        QCOMPARE(name->text(), QString("Warehouse "));
        QCOMPARE(p.settings.cameraName, QString("Warehouse "));

        // The eleventh typed character is refused the same way; ten are fine.
        QTest::keyClick(name, Qt::Key_X);
        QCOMPARE(p.desk.beeps, 2);
        QCOMPARE(name->text(), QString("Warehouse "));
        // A character outside the basic plane counts as one and is never split.
        const QString camera = QString("Caf") + QString::fromUcs4(U"\U0001F4F7");
        name->setText(camera + "123456");
        QCOMPARE(p.desk.beeps, 2);
        name->setText(name->text() + QString::fromUcs4(U"\U0001F4F7"));
        QCOMPARE(p.desk.beeps, 3);
        QCOMPARE(name->text(), camera + "123456");
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
        QVERIFY(p.open());
        QLineEdit* edit = p.field(name);
        QLineEdit* next = toBadNeighbour ? p.ui()->edDestinationAddress : p.ui()->edFTPhost;
        if (toBadNeighbour) next->setText("nobody");
        edit->setText(text);
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        if (toBadNeighbour)
            QTest::keyClick(edit, Qt::Key_Tab);
        else
            next->setFocus(Qt::MouseFocusReason);
        QTest::qWait(20);
        QCOMPARE(p.desk.shownTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(p.desk.beeps, error.isEmpty() ? 0 : 1);
        QVERIFY((error.isEmpty() ? next : edit)->hasFocus());
        if (!error.isEmpty()) QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(edit->text(), text);
    }

    // Leaving a field for Cancel, Escape or Help asks nothing. Cancel writes nothing but
    // keeps the edits, and each showing shows the live settings.
    void cancelEscapeAndHelp() {
        const QByteArray original = "[FTP Settings]\r\nFTP_Host=old.example.org\r\n";
        Program p(original);
        QVERIFY(p.open());
        auto* ui = p.ui();
        ui->edFTPhost->setText("new.example.org");
        ui->CheckBoxFailDisable->setChecked(true);
        ui->edUserEmail->setFocus(); // empty: not a valid address
        QTRY_VERIFY(ui->edUserEmail->hasFocus());
        // A hand takes its time between press and release: the events in between run.
        QTest::mousePress(ui->btnCancel, Qt::LeftButton);
        QTest::qWait(20);
        QTest::mouseRelease(ui->btnCancel, Qt::LeftButton);
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), int(QDialog::Rejected));
        VERIFY_NO_BOXES(p.desk);
        QCOMPARE(p.fileText(), original);
        QCOMPARE(p.ftp.HostName(), QString());
        QVERIFY(p.host.applied.isEmpty());
        // Other parts (the setup wizard) read and write the live settings at once.
        QCOMPARE(p.settings.ftpHost, QString("new.example.org"));
        QVERIFY(p.settings.failDisable);
        p.settings.smtpHost = "smtp.example.org";
        p.settings.ftpPort = "";
        p.settings.emailOnly = true;
        p.settings.ftpUpload = false;
        QVERIFY(p.showActive());
        QCOMPARE(ui->edFTPhost->text(), QString("new.example.org"));
        QVERIFY(ui->CheckBoxFailDisable->isChecked());
        QCOMPARE(ui->edSMTPhost->text(), QString("smtp.example.org"));
        QCOMPARE(ui->edPort->text(), QString("21"));
        QCOMPARE(p.settings.ftpPort, QString("21"));
        QVERIFY(ui->rbEmailOnly->isChecked() && !ui->CheckBoxNotification->isEnabled());

        ui->edCCAddress->setText("bad");
        ui->edCCAddress->setFocus();
        QTRY_VERIFY(ui->edCCAddress->hasFocus());
        QTest::keyClick(ui->edCCAddress, Qt::Key_Escape);
        QVERIFY(!p.dialog->isVisible());
        QTest::qWait(20);

        // The help is there to be read, also about the field being left: F1 and the button.
        QVERIFY(p.showActive());
        ui->edCCAddress->setFocus();
        QTRY_VERIFY(ui->edCCAddress->hasFocus());
        QTest::keyClick(ui->edCCAddress, Qt::Key_F1);
        QCOMPARE(p.desk.helpRequests.size(), 1);
        QCOMPARE(p.desk.helpRequests.first(), qMakePair(HelpCommand::Context, 15));
        QTest::mousePress(ui->btnHelp, Qt::LeftButton);
        QTest::qWait(20);
        QTest::mouseRelease(ui->btnHelp, Qt::LeftButton);
        QVERIFY(p.dialog->helpWindow()->isVisible() && p.dialog->isVisible());
        p.dialog->reject();
        QVERIFY(p.dialog->helpWindow()->isVisible()); // a window of its own
        VERIFY_NO_BOXES(p.desk);
    }

    void saveWritesAppliesAndReloads_data() {
        QTest::addColumn<QString>("cc");
        QTest::addColumn<QStringList>("recipients");
        QTest::addColumn<QString>("to");
        QTest::newRow("no copy") << "" << QStringList{"you@example.org"} << "you@example.org";
        QTest::newRow("copy") << "boss@example.org"
                              << QStringList({"you@example.org", "boss@example.org"})
                              << "you@example.org , boss@example.org";
    }
    void saveWritesAppliesAndReloads() {
        QFETCH(QString, cc);
        QFETCH(QStringList, recipients);
        QFETCH(QString, to);
        Program p("[Motion Detection]\r\nTreshold=12\r\n");
        p.smtp.RcptName() << "old@example.org";
        QVERIFY(p.open());
        p.host.interval = "9"; // typed in the main window since
        auto* ui = p.ui();
        const QStringList typed{"Shed",           "ftp.example.org",  "2121", "045", "cam",
                                "p=ss;word",      "mail.example.org", "587",  "me",  "m pass",
                                "me@example.org", "you@example.org",  cc};
        for (int i = 0; i < typed.size(); ++i) fields(ui)[i]->setText(typed[i]);
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
                 ui->CheckBoxFailDisable, ui->CheckBoxFailNotification, ui->CheckBoxPassive,
                 ui->CheckAutoStart})
            box->toggle();
        const QString flags = "1001101";
        ui->edFTPhost->setFocus();
        QTRY_VERIFY(ui->edFTPhost->hasFocus());
        QTest::keyClick(ui->edFTPhost, Qt::Key_Return); // the default button
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), int(QDialog::Accepted));
        VERIFY_NO_BOXES(p.desk);

        // The main window's own reader finds what was typed, the time-out as a number.
        const StoredSettings s = readStoredSettings(IniFile(p.file()));
        QCOMPARE(s.window.treshold, 12); // other keys stay
        const NetworkSettings& n = s.network;
        QCOMPARE(QStringList({n.cameraName, n.ftpHost, n.ftpPort, QString::number(s.ftpTimeout),
                              n.userId, n.ftpPassword, n.smtpHost, n.smtpPort, n.smtpUserName,
                              n.emailPassword, n.userEmail, n.destinationAddress, n.ccAddress}),
                 QStringList(typed).replaceInStrings("045", "45"));
        QCOMPARE(s.updateInterval, QString("9"));
        QString saved;
        for (bool on : {n.emailOnly, n.ftpUpload, n.notification, n.failDisable,
                        n.failNotification, n.passiveMode, n.autoStart})
            saved += on ? '1' : '0';
        QCOMPARE(saved, flags);
        QCOMPARE(IniFile(p.file()).readString("FTP Settings", "FTP_Timeout", ""), QString("045"));
        QCOMPARE(QFile(p.file()).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());

        // Applied to the running clients (which keep their passwords)...
        QCOMPARE(QStringList({p.ftp.HostName(), p.ftp.Port(), p.ftp.UserName(), p.ftp.PassWord(),
                              p.smtp.Host(), p.smtp.Port(), p.smtp.Username(), p.smtp.FromName()}),
                 QStringList({"ftp.example.org", "2121", "cam", "", "mail.example.org", "587", "me",
                              "me@example.org"}));
        QCOMPARE(p.ftp.Timeout(), 45);
        QCOMPARE(p.ftp.Passive(), false);
        QCOMPARE(p.smtp.RcptName(), recipients);
        QCOMPARE(p.smtp.HdrFrom(), QString("me@example.org"));
        QCOMPARE(p.smtp.HdrSender(), QString("me@example.org"));
        QCOMPARE(p.smtp.HdrTo(), to);
        // ...and to the main window.
        QCOMPARE(p.host.applied.size(), 1);
        const NetworkSettings& a = p.host.applied.first();
        QCOMPARE(QStringList(
                     {a.ftpPassword, a.emailPassword, a.destinationAddress, a.ccAddress, a.cameraName}),
                 QStringList({"p=ss;word", "m pass", "you@example.org", cc, "Shed"}));
        QVERIFY(a.autoStart && a.emailOnly && !a.ftpUpload && !a.notification && a.failDisable &&
                a.failNotification);
        QCOMPARE(p.host.interval, QString("9"));
        QVERIFY(!p.host.events.contains("start")); // saving starts nothing, even with AutoStart

        // The next start loads it all back, an emptied port refilled; the interval goes to
        // the main window's field, the passwords to its stored forms.
        IniFile(p.file()).writeString("FTP Settings", "FTP_Port", "");
        p.dialog.reset();
        p.settings = NetworkSettings();
        p.host.interval.clear();
        p.host.ftpPassword.clear();
        p.host.smtpPassword.clear();
        p.start();
        QStringList texts;
        for (QLineEdit* edit : fields(p.ui())) texts << edit->text();
        QCOMPARE(texts, QStringList(typed).replaceInStrings("2121", "21"));
        QCOMPARE(ticks(p.ui()), flags);
        QCOMPARE(p.settings.ftpPort, QString("21"));
        QCOMPARE(p.host.interval, QString("9"));
        QCOMPARE(p.host.ftpPassword, QString("p=ss;word"));
        QCOMPARE(p.host.smtpPassword, QString("m pass"));
    }

    void aSaveThatCannotWriteKeepsTheDialogOpen() {
        Program p;
        QVERIFY(p.open());
        // A folder where the settings file should be: nothing can be written there.
        QVERIFY(QDir(p.folder).mkdir("Ostrel.sif"));
        p.ui()->edFTPhost->setText("ftp.example.org");
        p.ui()->OKBtn->click();
        QVERIFY(p.dialog->isVisible());
        QCOMPARE(p.desk.shown.size(), 1);
        QVERIFY(p.desk.shown.first().text.startsWith("Unable to write to"));
        QCOMPARE(p.ftp.HostName(), QString());
        QVERIFY(p.host.applied.isEmpty());
    }
};

QTEST_MAIN(TestNetworkDialog)
#include "tst_networkdialog.moc"
