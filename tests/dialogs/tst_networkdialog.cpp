// The network settings dialog in a temporary program folder: what it loads at start-up,
// the field rules, the live upload choice, Save and Cancel, and its help window.
#include "app/Settings.h"
#include "dialogs/dlgNetwork.h"
#include "dialogs/unNetworkHelp.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_dlgNetwork.h"
#include "ui_unNetworkHelp.h"
#include <QClipboard>
#include <QLabel>
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

// One start of the program: the folder, the main window's parts and the dialog.
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
        if (!ini.isNull()) {
            QFile f(folder + "Ostrel.sif");
            if (f.open(QIODevice::WriteOnly)) f.write(ini);
        }
    }
    TfrmNetwork& start() {
        dialog = std::make_unique<TfrmNetwork>(folder, settings, host, ftp, smtp);
        return *dialog;
    }
    Ui::TfrmNetwork* ui() const { return dialog->ui(); }
    QString file() const { return folder + "Ostrel.sif"; }
    // Shown and active, so focus and keys behave as for the user.
    bool showActive() {
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QLineEdit* field(Ui::TfrmNetwork* ui, const QString& name) {
    return ui->edPort->window()->findChild<QLineEdit*>(name);
}

// The text fields in tab order.
QList<QLineEdit*> fields(Ui::TfrmNetwork* ui) {
    return {ui->edCameraName,   ui->edFTPhost,       ui->edPort,      ui->edTimeout,
            ui->edUserID,       ui->edPassword,      ui->edSMTPhost,  ui->edSMTPport,
            ui->edSMTPUserName, ui->edEmailPassword, ui->edUserEmail, ui->edDestinationAddress,
            ui->edCCAddress};
}
QStringList texts(Ui::TfrmNetwork* ui) {
    QStringList all;
    for (QLineEdit* edit : fields(ui))
        all << edit->text();
    return all;
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

    void firstStartShowsTheDesignDefaults() {
        Program p;
        auto& dialog = p.start();
        QCOMPARE(texts(p.ui()),
                 QStringList({"Location 1", "", "21", "15", "", "", "", "25", "", "", "", "", ""}));
        QCOMPARE(ticks(p.ui()), QString("0100010")); // FTP upload and passive mode
        QVERIFY(p.ui()->CheckBoxNotification->isEnabled());
        // Nothing started, applied or written; the interval field keeps its own text.
        QVERIFY(p.host.events.isEmpty());
        QCOMPARE(p.host.interval, QString("3"));
        QCOMPARE(p.desk.beeps, 0);
        QVERIFY(p.desk.shown.isEmpty());
        QVERIFY(!QFile::exists(p.file()));
        QVERIFY(!dialog.isVisible());
        QVERIFY(p.settings.ftpUpload && !p.settings.emailOnly);
    }

    void theFormAsDesigned() {
        Program p;
        auto& dialog = p.start();
        auto* ui = p.ui();
        QCOMPARE(dialog.windowTitle(), QString("Network Settings"));
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(dialog.width() >= 632 && dialog.height() >= 453);
        QCOMPARE(dialog.property("helpContext").toInt(), 15);
        QVERIFY(ui->OKBtn->isDefault());

        // A screen reader finds each field by its label and each button by its caption.
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->buddy()) QCOMPARE(label->buddy()->accessibleName(), label->text());
        for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
            QCOMPARE(button->accessibleName(), button->text());
        for (QLineEdit* edit : dialog.findChildren<QLineEdit*>())
            QVERIFY2(!edit->accessibleName().isEmpty(), qPrintable(edit->objectName()));

        QCOMPARE(ui->edUserEmail->toolTip(), QString("Your own email address with \n"
                                                     "the SMTP host mentioned in \n"
                                                     "the field 'SMTP Host Name'."));
        QCOMPARE(ui->edDestinationAddress->toolTip(), QString("Email address where movement \n"
                                                              "detection notifications should \n"
                                                              "be sent to."));
        QCOMPARE(ui->edCCAddress->toolTip(), QString("Email address where a copy of \n"
                                                     "movement detection notifications \n"
                                                     "should be sent to."));

        // Passwords show one "+" per character.
        ui->edPassword->setText("s3cret");
        ui->edEmailPassword->setText("abc");
        QCOMPARE(ui->edPassword->displayText(), QString("++++++"));
        QCOMPARE(ui->edEmailPassword->displayText(), QString("+++"));

        // Tab goes through the areas in order.
        const QStringList order =
            QString("rbEmailOnly rbFTPupload CheckBoxNotification CheckBoxFailDisable "
                    "CheckBoxFailNotification edCameraName edFTPhost edPort edTimeout edUserID "
                    "edPassword CheckBoxPassive CheckAutoStart edSMTPhost edSMTPport "
                    "edSMTPUserName edEmailPassword edUserEmail edDestinationAddress edCCAddress "
                    "btnCancel OKBtn btnHelp")
                .split(' ');
        QStringList chain;
        QWidget* w = ui->rbEmailOnly;
        do {
            if (w->focusPolicy() & Qt::TabFocus && order.contains(w->objectName()))
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != ui->rbEmailOnly);
        QCOMPARE(chain, order);
    }

    void loadsEveryKeyAtStartup() {
        Program p("[FTP Settings]\r\nFTP_Host=ftp.example.org\r\nFTP_Port=\r\nFTP_Timeout=40\r\n"
                  "User_ID=cam\r\nPassword=f+pass\r\nUpdate_Interval=7\r\nPassive_Mode=0\r\n"
                  "[Email Settings]\r\nSMTP_Host=mail.example.org\r\nSMTP_Port=2525\r\n"
                  "SMTP_UserName=me\r\nSMTP_Password=m pass\r\nUser_Address=me@example.org\r\n"
                  "Destination_Address=you@example.org\r\nCC_Address=cc@example.org\r\n"
                  "[Other Settings]\r\nCamera=Garage\r\n"
                  "[Protocol Settings]\r\nNotification=1\r\nDisableOnFail=1\r\n"
                  "FailNotification=1\r\n");
        p.start();
        // An empty port is refilled.
        const QStringList loaded{"Garage",
                                 "ftp.example.org",
                                 "21",
                                 "40",
                                 "cam",
                                 "f+pass",
                                 "mail.example.org",
                                 "2525",
                                 "me",
                                 "m pass",
                                 "me@example.org",
                                 "you@example.org",
                                 "cc@example.org"};
        QCOMPARE(texts(p.ui()), loaded);
        QCOMPARE(ticks(p.ui()), QString("0111100"));
        // The live settings are what the controls show.
        QCOMPARE(p.settings.ftpPort, QString("21"));
        QCOMPARE(p.settings.cameraName, QString("Garage"));
        QVERIFY(p.settings.failNotification && !p.settings.passiveMode);
        // The interval goes to the main window's field, the passwords to its stored forms.
        QCOMPARE(p.host.interval, QString("7"));
        QCOMPARE(p.host.ftpPassword, QString("f+pass"));
        QCOMPARE(p.host.smtpPassword, QString("m pass"));
        QCOMPARE(p.host.events, QStringList{"ftp"});
        QVERIFY(p.desk.shown.isEmpty());
    }

    void uploadChoiceAtStartup_data() {
        QTest::addColumn<QByteArray>("protocol");
        QTest::addColumn<bool>("emailOnly");
        QTest::addColumn<QStringList>("events");
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
        Program p("[Protocol Settings]\r\nNotification=1\r\n" + protocol);
        p.start();
        QCOMPARE(p.ui()->rbEmailOnly->isChecked(), emailOnly);
        QCOMPARE(p.ui()->rbFTPupload->isChecked(), !emailOnly);
        QCOMPARE(p.ui()->CheckBoxNotification->isEnabled(), !emailOnly);
        QCOMPARE(p.settings.emailOnly, emailOnly);
        QCOMPARE(p.settings.ftpUpload, !emailOnly);
        // The start comes once, after the choice has reached the main window, with a beep.
        QCOMPARE(p.host.events, events);
        QCOMPARE(p.desk.beeps, int(events.contains("start")));
        QVERIFY(p.desk.shown.isEmpty());
    }

    void choosingTheUploadActsAtOnce() {
        Program p;
        p.start();
        QVERIFY(p.showActive());
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
        QVERIFY(!p.dialog->isVisible());
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
        p.start();
        QVERIFY(p.showActive());
        QLineEdit* edit = field(p.ui(), name);
        edit->setFocus();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_A);
        QCOMPARE(p.desk.beeps, 1);
        QCOMPARE(p.desk.shownTexts(), QStringList{"Invalid entry: a"});
        QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
        QCOMPARE(edit->text(), standard);
        QTest::keyClicks(edit, "0");
        QCOMPARE(edit->text(), standard + "0");
        QCOMPARE(p.desk.beeps, 1);

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
        p.start();
        QVERIFY(p.showActive());
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
        name->setText(QString("Caf") + QString::fromUcs4(U"\U0001F4F7") + "123456");
        QCOMPARE(p.desk.beeps, 2);
        name->setText(name->text() + QString::fromUcs4(U"\U0001F4F7"));
        QCOMPARE(p.desk.beeps, 3);
        QCOMPARE(name->text(), QString("Caf") + QString::fromUcs4(U"\U0001F4F7") + "123456");
    }

    void addressesAreCheckedWhenLeft_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // empty: accepted
        auto row = [](const char* tag, const char* name, const char* text, const char* error) {
            QTest::newRow(tag) << QString(name) << QString(text) << QString(error);
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
    }
    void addressesAreCheckedWhenLeft() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, error);
        Program p;
        p.start();
        QVERIFY(p.showActive());
        QLineEdit* edit = field(p.ui(), name);
        edit->setText(text);
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        // Leaving by mouse for the host name field, which holds nothing to check.
        p.ui()->edFTPhost->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(p.desk.shownTexts(), error.isEmpty() ? QStringList() : QStringList{error});
        if (error.isEmpty()) {
            QVERIFY(p.ui()->edFTPhost->hasFocus());
            QCOMPARE(p.desk.beeps, 0);
        } else {
            QCOMPARE(p.desk.shown.first().kind, MsgKind::Error);
            QCOMPARE(p.desk.beeps, 1);
            QVERIFY(edit->hasFocus());
        }
        QCOMPARE(edit->text(), text);
    }

    void twoBadAddressesDoNotChaseEachOther() {
        Program p;
        p.start();
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        ui->edDestinationAddress->setText("nobody");
        ui->edUserEmail->setFocus();
        QTRY_VERIFY(ui->edUserEmail->hasFocus());
        QTest::keyClick(ui->edUserEmail, Qt::Key_Tab);
        QTest::qWait(20);
        QCOMPARE(p.desk.shownTexts(), QStringList{"A valid email address is required."});
        QVERIFY(ui->edUserEmail->hasFocus());
    }

    void leavingForCancelOrEscapeAsksNothing() {
        Program p;
        p.start();
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        ui->edUserEmail->setFocus();
        QTRY_VERIFY(ui->edUserEmail->hasFocus());
        // A hand takes its time between press and release: the events in between run.
        QTest::mousePress(ui->btnCancel, Qt::LeftButton);
        QTest::qWait(20);
        QVERIFY(p.desk.shown.isEmpty());
        QTest::mouseRelease(ui->btnCancel, Qt::LeftButton);
        QVERIFY(!p.dialog->isVisible());

        QVERIFY(p.showActive());
        ui->edCCAddress->setText("bad");
        ui->edCCAddress->setFocus();
        QTRY_VERIFY(ui->edCCAddress->hasFocus());
        QTest::keyClick(ui->edCCAddress, Qt::Key_Escape);
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), int(QDialog::Rejected));
        QTest::qWait(20);
        QVERIFY(p.desk.shown.isEmpty());

        // The help is there to be read, also about the field being left.
        QVERIFY(p.showActive());
        ui->edCCAddress->setFocus();
        QTRY_VERIFY(ui->edCCAddress->hasFocus());
        QTest::mousePress(ui->btnHelp, Qt::LeftButton);
        QTest::qWait(20);
        QVERIFY(p.desk.shown.isEmpty());
        QTest::mouseRelease(ui->btnHelp, Qt::LeftButton);
        QVERIFY(p.dialog->helpWindow()->isVisible());
        p.dialog->reject();
        QVERIFY(p.dialog->helpWindow()->isVisible()); // a window of its own
    }

    void saveWritesAppliesAndCloses_data() {
        QTest::addColumn<QString>("cc");
        QTest::addColumn<QStringList>("recipients");
        QTest::addColumn<QString>("to");
        QTest::newRow("no copy") << "" << QStringList{"you@example.org"} << "you@example.org";
        QTest::newRow("copy") << "boss@example.org"
                              << QStringList({"you@example.org", "boss@example.org"})
                              << "you@example.org , boss@example.org";
    }
    void saveWritesAppliesAndCloses() {
        QFETCH(QString, cc);
        QFETCH(QStringList, recipients);
        QFETCH(QString, to);
        Program p("[Motion Detection]\r\nTreshold=12\r\n");
        p.smtp.RcptName() << "old@example.org";
        p.start();
        QCOMPARE(p.host.interval, QString("5")); // the key's default, the file being there
        p.host.interval = "9";                   // typed in the main window since
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        const QStringList typed{"Shed",           "ftp.example.org",  "2121", "045", "cam",
                                "p=ss;word",      "mail.example.org", "587",  "me",  "m pass",
                                "me@example.org", "you@example.org",  cc};
        for (int i = 0; i < typed.size(); ++i)
            fields(ui)[i]->setText(typed[i]);
        QTest::mouseClick(ui->rbEmailOnly, Qt::LeftButton);
        for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
                 ui->CheckBoxFailDisable, ui->CheckBoxFailNotification, ui->CheckBoxPassive,
                 ui->CheckAutoStart})
            box->toggle();
        ui->edFTPhost->setFocus();
        QTRY_VERIFY(ui->edFTPhost->hasFocus());
        QTest::keyClick(ui->edFTPhost, Qt::Key_Return); // the default button
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), int(QDialog::Accepted));
        QVERIFY(p.desk.shown.isEmpty());

        // The main window's own reader finds what was typed, the time-out as a number.
        const StoredSettings s = readStoredSettings(IniFile(p.file()));
        QCOMPARE(s.window.treshold, 12); // other keys stay
        const NetworkSettings& n = s.network;
        QCOMPARE(QStringList({n.cameraName, n.ftpHost, n.ftpPort, QString::number(s.ftpTimeout),
                              n.userId, n.ftpPassword, n.smtpHost, n.smtpPort, n.smtpUserName,
                              n.emailPassword, n.userEmail, n.destinationAddress, n.ccAddress}),
                 QStringList(typed).replaceInStrings("045", "45"));
        QCOMPARE(s.updateInterval, QString("9"));
        QString flags;
        for (bool on : {n.emailOnly, n.ftpUpload, n.notification, n.failDisable,
                        n.failNotification, n.passiveMode, n.autoStart})
            flags += on ? '1' : '0';
        QCOMPARE(flags, QString("1001101"));
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
        // Saving starts nothing, even with AutoStart now on.
        QVERIFY(!p.host.events.contains("start"));
    }

    void cancelWritesNothingAndKeepsTheEdits() {
        const QByteArray original = "[FTP Settings]\r\nFTP_Host=old.example.org\r\n";
        Program p(original);
        p.start();
        QVERIFY(p.showActive());
        auto* ui = p.ui();
        ui->edFTPhost->setText("new.example.org");
        ui->edPassword->setText("typed");
        ui->CheckBoxFailDisable->setChecked(true);
        QTest::mouseClick(ui->btnCancel, Qt::LeftButton);
        QVERIFY(!p.dialog->isVisible());
        QCOMPARE(p.dialog->result(), int(QDialog::Rejected));
        QCOMPARE(readAll(p.file()), original);
        QCOMPARE(p.ftp.HostName(), QString());
        QVERIFY(p.host.applied.isEmpty());
        // Other parts read the edits at once, saved or not...
        QCOMPARE(p.settings.ftpHost, QString("new.example.org"));
        QCOMPARE(p.settings.ftpPassword, QString("typed"));
        QVERIFY(p.settings.failDisable);
        // ...and the next showing shows them again.
        QVERIFY(p.showActive());
        QCOMPARE(ui->edFTPhost->text(), QString("new.example.org"));
        QCOMPARE(ui->edPassword->text(), QString("typed"));
        QVERIFY(ui->CheckBoxFailDisable->isChecked());
    }

    void showingShowsWhatOthersWrote() {
        // The setup wizard writes into the live settings; the dialog shows them next time.
        Program p;
        p.start();
        p.settings.smtpHost = "smtp.example.org";
        p.settings.ftpPort = "";
        p.settings.emailOnly = true;
        p.settings.ftpUpload = false;
        QVERIFY(p.showActive());
        QCOMPARE(p.ui()->edSMTPhost->text(), QString("smtp.example.org"));
        QCOMPARE(p.ui()->edPort->text(), QString("21"));
        QCOMPARE(p.settings.ftpPort, QString("21"));
        QVERIFY(p.ui()->rbEmailOnly->isChecked());
        QVERIFY(!p.ui()->CheckBoxNotification->isEnabled());
        QVERIFY(p.desk.shown.isEmpty());
    }

    void helpWindowAndHelpKey() {
        Program p;
        p.start();
        QVERIFY(p.showActive());
        QTest::keyClick(p.ui()->edFTPhost, Qt::Key_F1);
        QCOMPARE(p.desk.helpRequests.size(), 1);
        QCOMPARE(p.desk.helpRequests.first().first, HelpCommand::Context);
        QCOMPARE(p.desk.helpRequests.first().second, 15);

        auto* help = p.dialog->helpWindow();
        QVERIFY(!help->isVisible());
        QTest::mouseClick(p.ui()->btnHelp, Qt::LeftButton);
        QVERIFY(help->isVisible());
        QVERIFY(p.dialog->isVisible()); // the dialog stays open
        QVERIFY(help->isWindow());
        QCOMPARE(help->windowTitle(), QString("Network Settings Help"));
        QVERIFY(help->minimumSize() != help->maximumSize()); // resizable
        auto* memo = help->ui()->MemoHelp;
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->palette().color(QPalette::Base), QColor(255, 255, 206));
        const QString text = memo->toPlainText();
        for (const char* topic : {"FTP", "Email only", "User Email Address", "Destination Address",
                                  "CC Address", "camera name", "F1"})
            QVERIFY2(text.contains(topic, Qt::CaseInsensitive), topic);
    }

    void aSaveThatCannotWriteKeepsTheDialogOpen() {
        Program p;
        p.start();
        QVERIFY(p.showActive());
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
