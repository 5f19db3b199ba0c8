#include "setup/unWizard3.h"
#include "setup/dlgNetwork.h"
#include "setup/unWizardDone.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "platform/Application.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "ui_unWizard3.h"

namespace ostrel {

TfrmWizard3::TfrmWizard3(SetupWizard& wizard, QWidget* parent)
    : WizardPage(wizard, parent), ui_(std::make_unique<Ui::TfrmWizard3>()) {
    ui_->setupUi(this);
    setFixedSize(QSize(536, 383).expandedTo(minimumSizeHint()));
    ui_->lblWait->hide();
    ui_->Gauge->hide();
    connect(ui_->BitBtnBack, &QPushButton::clicked, this, [this] { wizard_.showPage(2); });
    connect(ui_->BitBtnFinish, &QPushButton::clicked, this,
            guarded([this] { BitBtnFinishClick(); }));
    connect(ui_->BitBtnCancel, &QPushButton::clicked, this,
            guarded([this] { wizard_.cancelWizard(this); }));
}

TfrmWizard3::~TfrmWizard3() = default;

void TfrmWizard3::showEvent(QShowEvent* event) {
    const NetworkSettings& net = wizard_.parts().network;
    ui_->lblURL->setText(wizard_.HasFtpAccount
                             ? QStringLiteral("Upload to:  ftp://") + net.ftpHost + "/" +
                                   net.userId + "/"
                             : QStringLiteral("No uploads: motion images are sent by email to ") +
                                   net.destinationAddress);
    WizardPage::showEvent(event);
}

void TfrmWizard3::progressStep() {
    // 20, 40, 60, 80 and, after the fifth step, 0 again.
    ui_->Gauge->setValue((ui_->Gauge->value() + 20) % 100);
}

void TfrmWizard3::setBusy(bool busy) {
    busy_ = busy;
    ui_->lblWait->setVisible(busy);
    ui_->Gauge->setVisible(busy);
    for (QWidget* button : {ui_->BitBtnFinish, ui_->BitBtnCancel, ui_->BitBtnBack})
        button->setEnabled(!busy);
}

void TfrmWizard3::upload(const QString& local, const QString& remote) {
    // The outcome goes to the main window's request-done handler, which reports a failure;
    // the final page points to the error log.
    auto& ftp = wizard_.parts().ftp;
    ftp.setLocalFileName(withSlash(wizard_.parts().programFolder) + QStringLiteral("Server/") +
                         local);
    ftp.setHostFileName(remote);
    // A refused request (a host name the client cannot send, say) is shown and the next
    // step goes on: the settings are written whatever the uploads did.
    try {
        ftp.Transmit();
    } catch (...) {
        Application::showCurrentException();
    }
}

void TfrmWizard3::BitBtnFinishClick() {
    auto& p = wizard_.parts();
    setBusy(true);
    // The window cannot be left while it works, and comes back usable whatever happens.
    struct Idle {
        TfrmWizard3* page;
        ~Idle() { page->setBusy(false); }
    } idle{this};

    if (wizard_.HasFtpAccount) {
        p.ftp.setHostName(p.network.ftpHost);
        p.ftp.setUserName(p.network.userId);
        p.ftp.setPassWord(p.host.ftpPlainPassword());
        const std::pair<const char*, const char*> files[]{{"ostrel.html", "ostrel.html"},
                                                          {"stopcap.jpg", "Capture.jpg"},
                                                          {"stoptime.bmp", "datetime.bmp"}};
        for (const auto& [local, remote] : files) {
            upload(QString::fromLatin1(local), QString::fromLatin1(remote));
            progressStep();
        }
        if (p.ftp.Connected()) p.ftp.Quit();
    } else {
        for (int i = 0; i < 3; ++i)
            progressStep();
    }
    p.host.setFirstRun(false);
    p.dialogHost.setStoredPasswords(p.host.ftpPlainPassword(), p.host.smtpPlainPassword());
    progressStep();
    if (p.network.ftpPort.isEmpty()) p.network.ftpPort = sif::defaultText(sif::key::FtpPort);
    writeSettings();
    progressStep();

    // The wizard may have been ended meanwhile (the program is closing).
    if (!wizard_.running()) return;
    wizard_.donePage()->showUploaded(wizard_.HasFtpAccount);
    wizard_.donePage()->exec();
}

void TfrmWizard3::writeSettings() {
    const auto& p = wizard_.parts();
    NetworkSettings n = p.network;
    n.ftpPassword = p.dialogHost.storedFtpPassword();
    n.emailPassword = p.dialogHost.storedSmtpPassword();
    IniFile ini(withSlash(p.programFolder) + QString::fromLatin1(sif::ProgramFile),
                IniFile::Access::OwnerOnly);
    n.save(ini, sif::Wizard);
}

} // namespace ostrel
