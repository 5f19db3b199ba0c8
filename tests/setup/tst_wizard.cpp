// The setup wizard over a temporary program folder: the answer boxes and the fields they
// call for, what "Next" and "Finish" write, the e-mail-only path, and the ways it ends.
#include "../net/NetTestUtil.h"
#include "../net/Peer.h"
#include "FakeNetworkHost.h"
#include "setup/SetupWizard.h"
#include "setup/dlgNetwork.h"
#include "setup/unWizard1.h"
#include "setup/unWizard2.h"
#include "setup/unWizard3.h"
#include "setup/unWizardDone.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_unWizard1.h"
#include "ui_unWizard2.h"
#include "ui_unWizard3.h"
#include <QComboBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;

namespace {

// The main window as the wizard sees it.
struct FakeHost : test::FakeNetworkHost, SetupWizardHost {
    QString ftpPlain, smtpPlain;
    bool firstRun = true;
    int ended = 0;

    QString ftpPlainPassword() const override { return ftpPlain; }
    QString smtpPlainPassword() const override { return smtpPlain; }
    void setFtpPlainPassword(const QString& p) override { ftpPlain = p; }
    void setSmtpPlainPassword(const QString& p) override { smtpPlain = p; }
    void setFirstRun(bool on) override { firstRun = on; }
    void wizardEnded() override { ++ended; }
};

struct Wizard {
    QTemporaryDir dir;
    QString folder = dir.path() + "/";
    ScriptedDesktop desk;
    NetworkSettings settings;
    FakeHost host;
    TFtpClient ftp;
    TSmtpClient smtp;
    QWidget main;
    SetupWizard wizard{WizardParts{folder, settings, host, host, ftp, smtp}, &main};
    Ui::TfrmWizard1* ui = wizard.page1()->ui();

    Wizard() { QDir(folder).mkpath("Server"); }
    // Page 1 answered and filled; `empty` names a field left empty.
    void answer(QAbstractButton* ftpBox, QAbstractButton* notifyBox = nullptr,
                QLineEdit* empty = nullptr) {
        wizard.showPage(1);
        ftpBox->click();
        if (notifyBox) notifyBox->click();
        const QList<std::pair<QLineEdit*, const char*>> texts{
            {ui->edFTPhost, "ftp.example.org"},    {ui->edUserID, "jane"},
            {ui->edPassword, "ftp secret"},        {ui->edSMTPhost, "mail.example.org"},
            {ui->edSMTPUserName, "jane.mail"},     {ui->edEmailPassword, "mail secret"},
            {ui->edUserEmail, "jane@example.org"}, {ui->edDestinationAddress, "me@example.net"}};
        for (const auto& [field, text] : texts)
            field->setText(field == empty ? QString() : QString::fromLatin1(text));
    }
    QString value(const char* section, const char* key) const {
        return IniFile(folder + "Ostrel.sif").readString(section, key, "<none>");
    }
};

} // namespace

class TestWizard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Ostrel"); }

    // Yes to FTP takes Next away until the notify question is answered; Back forgets all.
    void notifyAnswerEnablesNext() {
        Wizard w;
        w.answer(w.ui->cbYesFTP);
        QVERIFY(w.ui->cbNoNotify->isVisible());
        QVERIFY(!w.ui->BitBtnNext->isEnabled());
        QVERIFY(w.wizard.HasFtpAccount);
        w.ui->cbNoNotify->click();
        QVERIFY(w.ui->BitBtnNext->isEnabled());
        QVERIFY(w.ui->GroupBoxFTPaccount->isVisible());
        QVERIFY(!w.ui->GroupBoxEmailaccount->isVisible());
        w.ui->cbYesFTP->click(); // unticked: the notify answer goes with it
        QVERIFY(!w.ui->cbNoNotify->isChecked());
        QVERIFY(!w.ui->BitBtnNext->isEnabled());
        w.ui->cbNoFTP->click();
        QVERIFY(!w.ui->cbYesFTP->isChecked());
        QVERIFY(!w.ui->cbNoNotify->isVisible());
        QVERIFY(w.ui->GroupBoxEmailaccount->isVisible());
        QVERIFY(!w.ui->GroupBoxFTPaccount->isVisible());
        QVERIFY(w.ui->edDestinationAddress->isVisible());
        w.ui->BitBtnBack->click();
        QVERIFY(!w.ui->cbNoFTP->isChecked());
        QVERIFY(!w.ui->GroupBoxEmailaccount->isVisible());
        QVERIFY(!w.ui->BitBtnNext->isEnabled());
        QVERIFY(!w.wizard.HasFtpAccount);
    }

    // Each field the answers call for is needed: one left empty keeps page 1 with the error.
    void emptyFieldRefused_data() {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QString>("empty");
        for (const char* f : {"edFTPhost", "edUserID", "edPassword", "edSMTPhost", "edSMTPUserName",
                              "edEmailPassword", "edUserEmail", "edDestinationAddress"})
            QTest::addRow("ftp+notify %s", f) << "yes yes" << f;
        // The other answers take the same field lists: one row proves which lists.
        QTest::newRow("ftp only edPassword") << QString("yes no") << QString("edPassword");
        QTest::newRow("no ftp edSMTPhost") << QString("no") << QString("edSMTPhost");
    }
    void emptyFieldRefused() {
        QFETCH(QString, answers);
        QFETCH(QString, empty);
        Wizard w;
        auto* ui = w.ui;
        w.answer(answers.startsWith("yes") ? ui->cbYesFTP : ui->cbNoFTP,
                 answers == "yes yes"  ? ui->cbYesNotify
                 : answers == "yes no" ? ui->cbNoNotify
                                       : nullptr,
                 w.wizard.page1()->findChild<QLineEdit*>(empty));
        ui->BitBtnNext->click();
        QCOMPARE(w.desk.shownTexts(),
                 QStringList{"All questions must be answered and valid and complete \n"
                             "information must be entered in the Account fields."});
        QVERIFY(!w.wizard.page2()->isVisible());
        QVERIFY(!QFile::exists(w.folder + "Ostrel.sif"));
    }

    // Next copies the accounts into the live settings and the clients and writes them;
    // with No notify the e-mail fields are neither needed nor taken.
    void nextTakesTheAnswers_data() {
        QTest::addColumn<bool>("notify");
        QTest::newRow("notify") << true;
        QTest::newRow("no notify") << false;
    }
    void nextTakesTheAnswers() {
        QFETCH(bool, notify);
        Wizard w;
        w.settings.emailOnly = true; // an earlier e-mail-only answer
        w.answer(w.ui->cbYesFTP, notify ? w.ui->cbYesNotify : w.ui->cbNoNotify,
                 notify ? nullptr : w.ui->edSMTPhost);
        w.ui->cbEmailSecurity->setCurrentIndex(1); // STARTTLS: the port follows
        w.ui->BitBtnNext->click();
        QVERIFY(w.desk.shown.isEmpty());
        QVERIFY(w.wizard.page2()->isVisible());
        QVERIFY(!w.wizard.page1()->isVisible());
        QCOMPARE(w.ftp.HostName(), QString("ftp.example.org"));
        QCOMPARE(w.host.ftpPlain, QString("ftp secret"));
        QCOMPARE(w.host.ftpPassword, QString("ftp secret"));
        QCOMPARE(w.value("FTP Settings", "Password"), QString("ftp secret"));
        QCOMPARE(w.value("Protocol Settings", "EmailOnly"), QString("0"));
        QCOMPARE(w.value("Protocol Settings", "FTPupload"), QString("1"));
        QCOMPARE(w.value("Protocol Settings", "Notification"), notify ? "1" : "0");
        QCOMPARE(w.settings.notification, notify);
        QVERIFY(!w.host.emailOnly);
        QVERIFY(!w.settings.emailOnly);
        QCOMPARE(w.value("Email Settings", "SMTP_Host"), notify ? "mail.example.org" : "<none>");
        QCOMPARE(w.value("Email Settings", "SMTP_Port"), notify ? "587" : "<none>");
        QCOMPARE(w.value("Email Settings", "Security"), notify ? "STARTTLS" : "<none>");
        QCOMPARE(w.smtp.security(),
                 notify ? TSmtpClient::Security::StartTls : TSmtpClient::Security::None);
        QCOMPARE(w.smtp.Password(), notify ? "mail secret" : "");
        QCOMPARE(w.smtp.RcptName(), notify ? QStringList{"me@example.net"} : QStringList{});
        auto* summary = w.wizard.page2()->ui();
        QCOMPARE(summary->valSMTPhost->text(), notify ? "mail.example.org" : "Not applicable");
        QCOMPARE(summary->valDestination->text(), notify ? "me@example.net" : "No Notifications");
        QVERIFY(!summary->lblEmailOnly->isVisible());
    }

    // The user's own address must pass when the field is left; the destination may be
    // empty.
    void addressFieldsOnLeaving() {
        Wizard w;
        w.answer(w.ui->cbYesFTP, w.ui->cbYesNotify);
        w.wizard.page1()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.wizard.page1()));
        auto leave = [&](QLineEdit* field, const QString& text) {
            field->setText(text);
            field->setFocus();
            QTRY_VERIFY(field->hasFocus());
            QSignalSpy moved(qApp, &QApplication::focusChanged);
            w.ui->edFTPhost->setFocus();
            QTRY_VERIFY(!moved.isEmpty());
            QCoreApplication::processEvents(); // the check the focus change queued
        };
        leave(w.ui->edDestinationAddress, "");
        QVERIFY(w.desk.shown.isEmpty());
        leave(w.ui->edUserEmail, "jane@example");
        QCOMPARE(w.desk.shownTexts(), QStringList{"A valid email address is required."});
        QTRY_VERIFY(w.ui->edUserEmail->hasFocus());
        QVERIFY(w.smtp.FromName().isEmpty());
    }

    // No webspace: the e-mail account and the destination give an e-mail-only set-up, and
    // Finish writes it without a single upload. The hidden FTP fields are no answer: Next
    // leaves a saved account as it was.
    void withoutWebspaceFinishesEmailOnly() {
        Wizard w;
        QVERIFY(test::writeFile(
            w.folder + "Ostrel.sif",
            "[FTP Settings]\nFTP_Host=ftp.saved.org\nUser_ID=saved\nPassword=pw\n"));
        w.answer(w.ui->cbNoFTP, nullptr, w.ui->edFTPhost);
        w.ui->BitBtnNext->click();
        QCOMPARE(w.value("FTP Settings", "FTP_Host"), QString("ftp.saved.org"));
        QCOMPARE(w.value("FTP Settings", "User_ID"), QString("saved"));
        QCOMPARE(w.value("FTP Settings", "Password"), QString("pw"));
        QVERIFY(w.wizard.page2()->isVisible());
        QVERIFY(w.wizard.page2()->ui()->lblEmailOnly->isVisible());
        QCOMPARE(w.wizard.page2()->ui()->valDestination->text(), QString("me@example.net"));
        QVERIFY(w.host.emailOnly);
        QVERIFY(w.settings.emailOnly);
        QVERIFY(!w.wizard.HasFtpAccount);
        finish(w);
        QCOMPARE(w.value("Protocol Settings", "EmailOnly"), QString("1"));
        QCOMPARE(w.value("Protocol Settings", "FTPupload"), QString("0"));
        QCOMPARE(w.value("Email Settings", "Destination_Address"), QString("me@example.net"));
        QVERIFY(w.ftp.HostName().isEmpty());
    }

    // Finish uploads the page and the stop pictures, then, in five steps in all, writes
    // the settings, shows the final page and ends the wizard with FirstRun cleared; an
    // unreachable host stops none of it.
    void finishUploads_data() {
        QTest::addColumn<bool>("reachable");
        QTest::newRow("real FTP server") << true;
        QTest::newRow("unreachable host") << false;
    }
    void finishUploads() {
        QFETCH(bool, reachable);
        Wizard w;
        QTemporaryDir root;
        test::PeerServer ftpd(test::peerScript("ftp_server.py"), {root.path(), "jane", "ftp secret"});
        QTcpServer closed;
        QVERIFY(reachable ? ftpd.start() : closed.listen(QHostAddress::LocalHost));
        const QString port = QString::number(reachable ? ftpd.port() : closed.serverPort());
        closed.close();
        for (const char* name : {"ostrel.html", "stopcap.jpg", "stoptime.bmp"})
            QVERIFY(test::writeFile(w.folder + "Server/" + name, name));
        w.settings.ftpPort = port;
        w.ftp.setPort(port);
        w.ftp.setTimeout(2);
        w.answer(w.ui->cbYesFTP, w.ui->cbYesNotify);
        w.ui->edFTPhost->setText("127.0.0.1");
        w.ui->BitBtnNext->click();
        w.wizard.showPage(3);
        QCOMPARE(w.wizard.page3()->ui()->lblURL->text(),
                 QString("Upload to:  ftp://127.0.0.1/jane/"));
        finish(w);
        QCOMPARE((QList<QByteArray>{test::readFile(root.filePath("ostrel.html")),
                                    test::readFile(root.filePath("Capture.jpg")),
                                    test::readFile(root.filePath("datetime.bmp"))}),
                 (reachable ? QList<QByteArray>{"ostrel.html", "stopcap.jpg", "stoptime.bmp"}
                            : QList<QByteArray>(3, "<missing>")));
        QCOMPARE(w.value("FTP Settings", "FTP_Port"), port);
        QCOMPARE(w.value("Email Settings", "SMTP_Password"), QString("mail secret"));
        QCOMPARE(w.value("Protocol Settings", "Notification"), QString("1"));
    }

    // Cancel answered No stays; Yes ends the wizard for good. A page closed by its title
    // bar ends it too, and it comes back next time.
    void cancelAndClose() {
        Wizard w;
        w.desk.answers << MsgButton::No << MsgButton::Yes;
        QTimer::singleShot(0, [&] {
            w.wizard.showPage(2);
            w.wizard.page2()->ui()->BitBtnCancel->click();
            QVERIFY(w.wizard.page2()->isVisible());
            w.wizard.page2()->ui()->BitBtnCancel->click();
        });
        w.wizard.run();
        QCOMPARE(w.desk.shown.size(), 2);
        QVERIFY(!w.host.firstRun);
        QCOMPARE(w.host.ended, 1);
        QVERIFY(!w.wizard.page2()->isVisible());
        QVERIFY(!w.wizard.running());

        Wizard c;
        QTimer::singleShot(0, [&] { c.wizard.page1()->close(); });
        c.wizard.run();
        QVERIFY(c.host.firstRun);
        QCOMPARE(c.host.ended, 1);
        QVERIFY(!c.wizard.page1()->isVisible());
    }

private:
    // Finish on page 3 while the wizard runs: the final page comes after five progress
    // steps (the bar back at 0), and its OK ends the wizard.
    static void finish(Wizard& w) {
        int gaugeAtEnd = -1;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!w.wizard.donePage()->isVisible()) return;
            // Until the final page is closed, page 3 cannot be left or finished again.
            const auto* ui = w.wizard.page3()->ui();
            gaugeAtEnd = ui->BitBtnFinish->isEnabled() || ui->BitBtnBack->isEnabled()
                             ? -2
                             : ui->Gauge->value();
            w.wizard.donePage()->accept();
        });
        poll.start(20);
        QTimer::singleShot(0, [&] {
            w.wizard.showPage(3);
            w.wizard.page3()->ui()->BitBtnFinish->click();
        });
        w.wizard.run();
        QCOMPARE(gaugeAtEnd, 0);
        QVERIFY(!w.host.firstRun);
        QCOMPARE(w.host.ended, 1);
        QVERIFY(!w.wizard.page3()->isVisible());
        QVERIFY(w.wizard.page3()->ui()->BitBtnFinish->isEnabled());
    }
};

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
