#include "setup/unWizard2.h"
#include "setup/unWizard1.h"
#include "platform/Guard.h"
#include "ui_unWizard1.h"
#include "ui_unWizard2.h"

namespace ostrel {

TfrmWizard2::TfrmWizard2(SetupWizard& wizard, QWidget* parent)
    : WizardPage(wizard, parent), ui_(std::make_unique<Ui::TfrmWizard2>()) {
    ui_->setupUi(this);
    connect(ui_->BitBtnBack, &QPushButton::clicked, this, [this] { wizard_.showPage(1); });
    connect(ui_->BitBtnNext, &QPushButton::clicked, this, [this] { wizard_.showPage(3); });
    connect(ui_->BitBtnCancel, &QPushButton::clicked, this,
            guarded([this] { wizard_.cancelWizard(this); }));
}

TfrmWizard2::~TfrmWizard2() = default;

void TfrmWizard2::showEvent(QShowEvent* event) {
    const auto* answers = wizard_.page1()->ui();
    const bool ftp = answers->cbYesFTP->isChecked();
    const bool notify = answers->cbYesNotify->isChecked();
    // Without webspace the e-mail account is used for every motion image.
    const bool mail = notify || answers->cbNoFTP->isChecked();
    auto yesNo = [](bool on) { return on ? QStringLiteral("Yes") : QStringLiteral("No"); };
    auto value = [](bool used, const QLineEdit* field) {
        return used ? field->text() : QStringLiteral("Not applicable");
    };
    auto* ui = ui_.get();
    ui->valHasFTP->setText(yesNo(ftp));
    ui->valWantsNotify->setText(yesNo(notify));
    ui->valFTPhost->setText(value(ftp, answers->edFTPhost));
    ui->valUserID->setText(value(ftp, answers->edUserID));
    ui->valPassword->setText(value(ftp, answers->edPassword));
    ui->valSMTPhost->setText(value(mail, answers->edSMTPhost));
    ui->valSMTPUserName->setText(value(mail, answers->edSMTPUserName));
    ui->valEmailPassword->setText(value(mail, answers->edEmailPassword));
    ui->valUserEmail->setText(value(mail, answers->edUserEmail));
    ui->valDestination->setText(mail ? answers->edDestinationAddress->text()
                                     : QStringLiteral("No Notifications"));
    ui->lblEmailOnly->setVisible(!ftp);
    WizardPage::showEvent(event);
}

} // namespace ostrel
