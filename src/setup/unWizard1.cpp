#include "setup/unWizard1.h"
#include "setup/AddressCheck.h"
#include "setup/dlgNetwork.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "ui_unWizard1.h"
#include <QComboBox>

namespace ostrel {

TfrmWizard1::TfrmWizard1(SetupWizard& wizard, QWidget* parent)
    : WizardPage(wizard, parent), ui_(std::make_unique<Ui::TfrmWizard1>()) {
    ui_->setupUi(this);
    setFixedSize(QSize(632, 453).expandedTo(minimumSizeHint()));
    // A new user's settings say passive, which gets through the routers most users have;
    // a saved choice of active mode is kept.
    wizard_.parts().ftp.setPassive(wizard_.parts().network.passiveMode);
    BitBtnBackClick(); // questions only, nothing answered
    const NetworkSettings& n = wizard_.parts().network;
    ui_->cbFTPsecurity->setCurrentIndex(securityIndex(ftpSecurityOptions, n.ftpSecurity));
    ui_->cbEmailSecurity->setCurrentIndex(securityIndex(smtpSecurityOptions, n.smtpSecurity));

    auto* ui = ui_.get();
    // A box reacts to being ticked or unticked by the user, whether by a click, the space
    // bar or a screen reader's toggle; the boxes a reaction itself changes do not react.
    const QList<std::pair<QAbstractButton*, void (TfrmWizard1::*)()>> answers{
        {ui->cbYesFTP, &TfrmWizard1::cbYesFTPClick},
        {ui->cbNoFTP, &TfrmWizard1::cbNoFTPClick},
        {ui->cbYesNotify, &TfrmWizard1::cbYesNotifyClick},
        {ui->cbNoNotify, &TfrmWizard1::cbNoNotifyClick}};
    for (const auto& [box, handler] : answers)
        connect(box, &QAbstractButton::toggled, this, guarded([this, h = handler] {
                    if (!reacting_) react(h);
                }));
    connect(ui->BitBtnBack, &QPushButton::clicked, this,
            guarded([this] { react(&TfrmWizard1::BitBtnBackClick); }));
    connect(ui->BitBtnNext, &QPushButton::clicked, this, guarded([this] { BitBtnNextClick(); }));
    connect(ui->BitBtnCancel, &QPushButton::clicked, this,
            guarded([this] { wizard_.cancelWizard(this); }));
    new AddressCheck(this, {ui->edUserEmail, ui->edDestinationAddress},
                     [this](QLineEdit* field) { return addressError(field); }, {ui->BitBtnCancel});
}

TfrmWizard1::~TfrmWizard1() = default;

void TfrmWizard1::react(void (TfrmWizard1::*handler)()) {
    reacting_ = true;
    const struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reacting_};
    (this->*handler)();
}

QString TfrmWizard1::addressError(QLineEdit* field) {
    const QString address = field->text();
    const bool passes = looksLikeEmailAddress(address);
    if (field == ui_->edUserEmail) {
        if (!passes) return QStringLiteral("A valid email address is required.");
        wizard_.parts().smtp.setFromName(address);
    } else if (!address.isEmpty() && !passes) {
        return QStringLiteral("A valid email address is required.");
    }
    return {};
}

void TfrmWizard1::setNavigation(bool enabled) {
    ui_->BitBtnNext->setEnabled(enabled);
    ui_->BitBtnBack->setEnabled(enabled);
}

void TfrmWizard1::cbYesFTPClick() {
    auto* ui = ui_.get();
    ui->cbYesNotify->setChecked(false);
    ui->cbNoNotify->setChecked(false);
    if (ui->cbYesFTP->isChecked()) {
        ui->cbNoFTP->setChecked(false);
        wizard_.HasFtpAccount = true;
        for (QWidget* w : QList<QWidget*>{ui->lblNotify, ui->cbYesNotify, ui->cbNoNotify})
            w->show();
    }
    // The account fields shown follow the notify answer, which is asked anew.
    setNavigation(false);
}

void TfrmWizard1::cbNoFTPClick() {
    auto* ui = ui_.get();
    ui->cbYesNotify->setChecked(false);
    ui->cbNoNotify->setChecked(false);
    if (ui->cbNoFTP->isChecked()) {
        ui->cbYesFTP->setChecked(false);
        wizard_.HasFtpAccount = false;
        ui->lblNotify->hide();
        ui->cbYesNotify->hide();
        ui->cbNoNotify->hide();
        ui->lblNetwork->show();
        ui->GroupBoxFTPaccount->hide();
        // Without webspace every motion image goes by e-mail, so it needs the address
        // it goes to.
        ui->GroupBoxEmailaccount->show();
    }
    setNavigation(true);
}

void TfrmWizard1::cbYesNotifyClick() {
    notifyAnswered(ui_->cbYesNotify, ui_->cbNoNotify, true);
}

void TfrmWizard1::cbNoNotifyClick() {
    notifyAnswered(ui_->cbNoNotify, ui_->cbYesNotify, false);
}

void TfrmWizard1::notifyAnswered(QAbstractButton* box, QAbstractButton* other, bool notify) {
    auto* ui = ui_.get();
    if (box->isChecked()) {
        other->setChecked(false);
        ui->lblNetwork->show();
        ui->GroupBoxEmailaccount->setVisible(notify);
        ui->GroupBoxFTPaccount->show();
    }
    setNavigation(true);
}

void TfrmWizard1::BitBtnBackClick() {
    auto* ui = ui_.get();
    wizard_.HasFtpAccount = false;
    setNavigation(false);
    for (QWidget* w :
         QList<QWidget*>{ui->GroupBoxFTPaccount, ui->GroupBoxEmailaccount, ui->lblNetwork,
                         ui->lblNotify, ui->cbYesNotify, ui->cbNoNotify})
        w->hide();
    for (QAbstractButton* box : {ui->cbYesFTP, ui->cbNoFTP, ui->cbYesNotify, ui->cbNoNotify})
        box->setChecked(false);
}

bool TfrmWizard1::allFilled(const QList<QLineEdit*>& fields) {
    for (const QLineEdit* field : fields) {
        if (!field->text().isEmpty()) continue;
        desktop().messageBeep();
        showError(QStringLiteral("All questions must be answered and valid and complete \n"
                                 "information must be entered in the Account fields."),
                  this);
        return false;
    }
    return true;
}

void TfrmWizard1::takeFtpAccount() {
    auto& p = wizard_.parts();
    p.network.ftpHost = ui_->edFTPhost->text();
    p.network.userId = ui_->edUserID->text();
    p.network.ftpPassword = ui_->edPassword->text();
    chooseSecurity(ftpSecurityOptions, ui_->cbFTPsecurity->currentIndex(), &p.network.ftpSecurity,
                   &p.network.ftpPort);
    applyFtpAccount(p.network, p.ftp);
    p.host.setFtpPlainPassword(ui_->edPassword->text());
}

void TfrmWizard1::takeEmailAccount() {
    auto& p = wizard_.parts();
    const QString destination = ui_->edDestinationAddress->text();
    p.network.smtpHost = ui_->edSMTPhost->text();
    p.network.smtpUserName = ui_->edSMTPUserName->text();
    p.network.emailPassword = ui_->edEmailPassword->text();
    p.network.userEmail = ui_->edUserEmail->text();
    p.network.destinationAddress = destination;
    chooseSecurity(smtpSecurityOptions, ui_->cbEmailSecurity->currentIndex(),
                   &p.network.smtpSecurity, &p.network.smtpPort);
    applySmtpAccount(p.network, p.smtp);
    p.host.setSmtpPlainPassword(ui_->edEmailPassword->text());
    // The running client mails the destination alone from now on.
    addressNotificationMail(p.smtp, destination, {});
}

void TfrmWizard1::writeAnswers(bool withEmail) {
    // The live settings hold the answers by now, the passwords as stored.
    const auto& p = wizard_.parts();
    const NetworkSettings& n = p.network;
    using namespace sif;
    IniFile ini(withSlash(p.programFolder) + QString::fromLatin1(ProgramFile),
                IniFile::Access::OwnerOnly);
    // Without webspace the FTP fields are hidden and say nothing: a saved account stays,
    // should the user come back to it or cancel.
    if (wizard_.HasFtpAccount)
        n.saveKeys(ini, Wizard,
                   {key::FtpHost, key::UserId, key::FtpPassword, key::FtpPort, key::FtpSecurity});
    if (withEmail)
        n.saveKeys(ini, Wizard,
                   {key::SmtpPort, key::SmtpSecurity, key::SmtpHost, key::SmtpUserName,
                    key::SmtpPassword, key::UserAddress, key::DestinationAddress});
    n.saveKeys(ini, Wizard, {key::EmailOnly, key::FtpUpload, key::Notification});
}

void TfrmWizard1::BitBtnNextClick() {
    auto* ui = ui_.get();
    auto& p = wizard_.parts();
    const QList<QLineEdit*> ftpFields{ui->edFTPhost, ui->edUserID, ui->edPassword};
    const QList<QLineEdit*> emailFields{ui->edSMTPhost, ui->edSMTPUserName, ui->edEmailPassword,
                                        ui->edUserEmail, ui->edDestinationAddress};
    const bool withEmail = !ui->cbYesFTP->isChecked() || ui->cbYesNotify->isChecked();
    if (ui->cbYesFTP->isChecked()) {
        if (!allFilled(withEmail ? ftpFields + emailFields : ftpFields)) return;
        takeFtpAccount();
        if (withEmail) takeEmailAccount();
        // Whoever has webspace uploads by FTP, even after an earlier e-mail-only answer.
        p.network.emailOnly = false;
        p.network.ftpUpload = true;
        p.network.notification = withEmail;
        p.dialogHost.setEmailOnlyMode(false);
        wizard_.HasFtpAccount = true;
    } else if (ui->cbNoFTP->isChecked()) {
        if (!allFilled(emailFields)) return;
        takeEmailAccount();
        p.network.emailOnly = true;
        p.network.ftpUpload = false;
        p.network.notification = false;
        p.dialogHost.setEmailOnlyMode(true);
        wizard_.HasFtpAccount = false;
    } else {
        return;
    }
    // The passwords are stored as typed.
    p.dialogHost.setStoredPasswords(p.network.ftpPassword, p.network.emailPassword);
    writeAnswers(withEmail);
    wizard_.showPage(2);
}

} // namespace ostrel
