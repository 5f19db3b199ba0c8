#include "setup/dlgNetwork.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "setup/AccountTestWindow.h"
#include "setup/AddressCheck.h"
#include "setup/unNetworkHelp.h"
#include "ui_dlgNetwork.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QShowEvent>
#include <QSpinBox>

namespace ostrel {

namespace {

// Each field or box and the setting it edits, in tab order.
using N = NetworkSettings;
QList<std::pair<QLineEdit*, QString N::*>> textFields(Ui::TfrmNetwork* ui) {
    return {{ui->edCameraName, &N::cameraName},
            {ui->edFTPhost, &N::ftpHost},
            {ui->edPort, &N::ftpPort},
            {ui->edTimeout, &N::ftpTimeout},
            {ui->edUserID, &N::userId},
            {ui->edPassword, &N::ftpPassword},
            {ui->edSMTPhost, &N::smtpHost},
            {ui->edSMTPport, &N::smtpPort},
            {ui->edSMTPUserName, &N::smtpUserName},
            {ui->edEmailPassword, &N::emailPassword},
            {ui->edUserEmail, &N::userEmail},
            {ui->edDestinationAddress, &N::destinationAddress},
            {ui->edCCAddress, &N::ccAddress}};
}
// The radio pair is shown from e-mail only alone (one of the two is always on).
QList<std::pair<QAbstractButton*, bool N::*>> boxFields(Ui::TfrmNetwork* ui, bool withRadios) {
    QList<std::pair<QAbstractButton*, bool N::*>> boxes{
        {ui->CheckBoxNotification, &N::notification},
        {ui->CheckBoxFailDisable, &N::failDisable},
        {ui->CheckBoxFailNotification, &N::failNotification},
        {ui->CheckBoxPassive, &N::passiveMode},
        {ui->CheckAutoStart, &N::autoStart}};
    if (withRadios) boxes += {{ui->rbEmailOnly, &N::emailOnly}, {ui->rbFTPupload, &N::ftpUpload}};
    return boxes;
}

// Each security box, the setting it edits and the port field that follows it.
struct SecurityChoice {
    QComboBox* box;
    std::span<const SecurityOption> options;
    QString N::*member;
    QLineEdit* port;
};
QList<SecurityChoice> securityChoices(Ui::TfrmNetwork* ui) {
    return {{ui->cbFTPsecurity, ftpSecurityOptions, &N::ftpSecurity, ui->edPort},
            {ui->cbEmailSecurity, smtpSecurityOptions, &N::smtpSecurity, ui->edSMTPport}};
}

// Leaves a field that already shows the text alone, so its cursor and undo stay.
void showText(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

} // namespace

void addressNotificationMail(TSmtpClient& smtp, const QString& destination, const QString& cc) {
    smtp.setRcptName(mailRecipients(destination, cc));
    smtp.setHdrFrom(smtp.FromName());
    smtp.setHdrSender(smtp.FromName());
    // Without a copy address the To line names the destination alone.
    smtp.setHdrTo(cc.isEmpty() ? destination : destination + QStringLiteral(" , ") + cc);
}

TfrmNetwork::TfrmNetwork(const QString& programFolder, NetworkSettings& settings,
                         NetworkDialogHost& host, TFtpClient& ftp, TSmtpClient& smtp,
                         QWidget* parent)
    : QDialog(parent),
      settingsFile_(withSlash(programFolder) + QString::fromLatin1(sif::ProgramFile)),
      settings_(settings), edit_(std::make_unique<NetworkSettings>(settings)), host_(host),
      ftp_(ftp), smtp_(smtp), ui_(std::make_unique<Ui::TfrmNetwork>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // A dialog that lives for the whole run never keeps the program alive on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, HelpContext);
    // The designed client size, unless the fonts need more.
    setFixedSize(QSize(632, 453).expandedTo(minimumSizeHint()));

    // The help window belongs to the dialog, so it takes input while the dialog is modal.
    help_ = new TfrmNetworkHelp(this);

    for (QLineEdit* field : {ui_->edPort, ui_->edTimeout, ui_->edSMTPport})
        DigitFilter::install(field);
    // Whoever goes for Cancel wants out, not a word about the field; and the help is
    // where to read what the field wants.
    new AddressCheck(this, {ui_->edUserEmail, ui_->edDestinationAddress, ui_->edCCAddress},
                     [this](QLineEdit* field) { return addressError(field); },
                     {ui_->btnCancel, ui_->btnHelp});

    connectControls();
    FormCreate();
}

TfrmNetwork::~TfrmNetwork() = default;

void TfrmNetwork::connectControls() {
    auto* ui = ui_.get();
    // Every edit goes into the dialog's copy at once.
    for (const auto& [field, member] : textFields(ui)) {
        connect(field, &QLineEdit::textChanged, this, [this, m = member](const QString& v) {
            if (!showing_) (*edit_).*m = v;
        });
    }
    for (const auto& [box, member] : boxFields(ui, true)) {
        connect(box, &QAbstractButton::toggled, this, [this, m = member](bool on) {
            if (!showing_) (*edit_).*m = on;
        });
    }

    // The upload choice reacts to a click and to being set on by the program alike.
    connect(ui->rbEmailOnly, &QAbstractButton::toggled, this, guarded([this] {
                if (!showing_ && ui_->rbEmailOnly->isChecked()) rbEmailOnlyClick();
            }));
    connect(ui->rbFTPupload, &QAbstractButton::toggled, this, guarded([this] {
                if (!showing_ && ui_->rbFTPupload->isChecked()) rbFTPuploadClick();
            }));

    for (const SecurityChoice& c : securityChoices(ui)) {
        connect(c.box, &QComboBox::currentIndexChanged, this, [this, c](int index) {
            if (showing_) return;
            QString port = c.port->text();
            chooseSecurity(c.options, index, &((*edit_).*c.member), &port);
            showText(c.port, port);
        });
    }
    connect(ui->btnTestFTP, &QPushButton::clicked, this,
            guarded([this] { runAccountTest(AccountTest::Kind::Ftp); }));
    connect(ui->btnTestEmail, &QPushButton::clicked, this,
            guarded([this] { runAccountTest(AccountTest::Kind::Smtp); }));

    refillWhenEmpty(ui->edPort, sif::defaultText(sif::key::FtpPort));
    refillWhenEmpty(ui->edTimeout, sif::defaultText(sif::key::FtpTimeout));
    refillWhenEmpty(ui->edSMTPport, sif::defaultText(sif::key::SmtpPort));
    connect(ui->edCameraName, &QLineEdit::textChanged, this,
            guarded([this] { edCameraNameChange(); }));

    connect(ui->OKBtn, &QPushButton::clicked, this, guarded([this] { OKBtnClick(); }));
    connect(ui->btnCancel, &QPushButton::clicked, this, guarded([this] { btnCancelClick(); }));
    connect(ui->btnHelp, &QPushButton::clicked, this, guarded([this] { btnHelpClick(); }));
}

void TfrmNetwork::refillWhenEmpty(QLineEdit* field, const QString& standard) {
    connect(field, &QLineEdit::textChanged, this, [field, standard](const QString& value) {
        if (value.isEmpty()) field->setText(standard);
    });
}

void TfrmNetwork::FormCreate() {
    if (QFile::exists(settingsFile_)) {
        const IniFile ini(settingsFile_);
        QString interval = host_.updateIntervalText();
        settings_.load(ini, &interval);
        host_.setUpdateIntervalText(interval);
        host_.setStoredPasswords(settings_.ftpPassword, settings_.emailPassword);
        // E-mail only disables the website update right at start-up.
        host_.setEmailOnlyMode(settings_.emailOnly);
    }
    settings_.ftpPassword = host_.storedFtpPassword();
    settings_.emailPassword = host_.storedSmtpPassword();
    showSettings();
    // The program starts with what the controls show (a refilled port, a name cut to its
    // limit).
    settings_ = *edit_;

    if (settings_.autoStart) {
        desktop().messageBeep();
        // A failing start is reported like any handler's error; the dialog exists either way.
        try {
            host_.startWebsiteUpdate();
        } catch (...) {
            Application::showCurrentException();
        }
    }
}

void TfrmNetwork::showSettings() {
    auto* ui = ui_.get();
    NetworkSettings& edit = *edit_;
    edit = settings_;
    showing_ = true;
    for (const auto& [field, member] : textFields(ui))
        showText(field, edit.*member);
    for (const auto& [box, member] : boxFields(ui, false))
        box->setChecked(edit.*member);
    for (const SecurityChoice& c : securityChoices(ui))
        c.box->setCurrentIndex(securityIndex(c.options, edit.*c.member));
    // One of the two is always on: e-mail only decides.
    (edit.emailOnly ? ui->rbEmailOnly : ui->rbFTPupload)->setChecked(true);
    ui->CheckBoxNotification->setEnabled(!ui->rbEmailOnly->isChecked());
    showing_ = false;
    // The copy now holds what the controls show (a refilled port, the radio pair, a name
    // cut to its limit).
    edit.ftpPort = ui->edPort->text();
    edit.ftpTimeout = ui->edTimeout->text();
    edit.smtpPort = ui->edSMTPport->text();
    edit.cameraName = ui->edCameraName->text();
    edit.emailOnly = ui->rbEmailOnly->isChecked();
    edit.ftpUpload = ui->rbFTPupload->isChecked();
    // Kept by the main window.
    ui->seMinFreeMb->setValue(host_.minFreeMb());
}

void TfrmNetwork::showEvent(QShowEvent* event) {
    // A window brought back from the task bar keeps what is being typed.
    if (!event->spontaneous()) showSettings();
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

// The main window follows the choice once it is saved.
void TfrmNetwork::rbEmailOnlyClick() {
    if (ui_->rbEmailOnly->isChecked()) ui_->CheckBoxNotification->setEnabled(false);
}

void TfrmNetwork::rbFTPuploadClick() {
    if (!ui_->rbEmailOnly->isChecked()) ui_->CheckBoxNotification->setEnabled(true);
}

void TfrmNetwork::edCameraNameChange() {
    const QString name = ui_->edCameraName->text();
    // Characters, not UTF-16 units: a cut never splits a character in two.
    const QList<uint> characters = name.toUcs4();
    if (characters.size() <= CameraNameLimit) return;
    desktop().messageBeep();
    showError(QStringLiteral("Maximum 10 characters for Camera Name"), this);
    ui_->edCameraName->setText(QString::fromUcs4(
        reinterpret_cast<const char32_t*>(characters.constData()), CameraNameLimit));
}

QString TfrmNetwork::addressError(QLineEdit* field) const {
    const QString address = field->text();
    if (field == ui_->edUserEmail) {
        if (!looksLikeEmailAddress(address))
            return QStringLiteral("A valid email address is required.");
    } else if (!address.isEmpty() && !looksLikeEmailAddress(address)) {
        return field == ui_->edCCAddress ? QStringLiteral("Invalid email address.")
                                         : QStringLiteral("A valid email address is required.");
    }
    return {};
}

void TfrmNetwork::OKBtnClick() {
    {
        IniFile ini(settingsFile_, IniFile::Access::OwnerOnly);
        const QString interval = host_.updateIntervalText();
        edit_->minFreeMb = ui_->seMinFreeMb->value();
        edit_->save(ini, sif::NetworkDialog, &interval);
    }

    // What the program runs with is what the file now says.
    const IniFile ini(settingsFile_);
    NetworkSettings saved;
    QString interval;
    saved.load(ini, &interval);
    settings_ = saved;
    host_.setStoredPasswords(saved.ftpPassword, saved.emailPassword);
    applyFtpAccount(saved, ftp_);
    applySmtpAccount(saved, smtp_);
    host_.setUpdateIntervalText(interval);
    host_.applySavedSettings(saved);
    host_.setEmailOnlyMode(saved.emailOnly);
    host_.setMinFreeMb(saved.minFreeMb);

    if (ui_->edPort->text().isEmpty()) ui_->edPort->setText(sif::defaultText(sif::key::FtpPort));
    // The header lines follow the addresses too, or a mail would go to the new
    // destination naming the old one.
    addressNotificationMail(smtp_, saved.destinationAddress, saved.ccAddress);
    accept();
}

void TfrmNetwork::runAccountTest(AccountTest::Kind kind) {
    if (!tester_) {
        tester_ = new TfrmAccountTest(this);
        tester_->setObjectName(QStringLiteral("frmAccountTest"));
        // The trusted certificate is kept with the account once the settings are saved.
        connect(tester_, &TfrmAccountTest::certificateTrusted, this,
                [this](AccountTest::Kind k, const QString& sha256) {
                    (k == AccountTest::Kind::Ftp ? edit_->ftpCertificateSha256
                                                 : edit_->smtpCertificateSha256) = sha256;
                });
    }
    tester_->run(kind, *edit_);
}

void TfrmNetwork::btnCancelClick() {
    reject();
}

void TfrmNetwork::btnHelpClick() {
    help_->show();
    help_->raise();
    help_->activateWindow();
}

} // namespace ostrel
