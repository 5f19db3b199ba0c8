#pragma once
// The network settings dialog: the FTP and SMTP accounts, the upload choice between FTP and
// e-mail, the notifications and the camera name.
//
// The dialog edits a copy of the main window's NetworkSettings, taken at each showing; its
// Test buttons try that copy. Only "Save Settings" changes the program: it writes the
// settings file and reads it back into the running program (the live settings, the FTP and
// SMTP clients, the stored passwords and the e-mail-only mode) and closes with OK. "Cancel"
// closes and leaves all of it as it was; the next showing shows the saved settings again.
#include "setup/unNetworkHelp.h"
#include "net/AccountTest.h"
#include "platform/SettingsKeys.h"
#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>

class QLineEdit;

namespace Ui {
class TfrmNetwork;
}

namespace ostrel {

class IniFile;
class TFtpClient;
class TSmtpClient;
class TfrmNetworkHelp;
class TfrmAccountTest;
struct NetworkSettings;

// Addresses the notification mail: the recipients (the destination, then the copy address
// when there is one) and the From, Sender and To header lines.
void addressNotificationMail(TSmtpClient& smtp, const QString& destination, const QString& cc);

// What the dialog needs of the main window.
class NetworkDialogHost {
public:
    virtual ~NetworkDialogHost() = default;

    // The website update interval field: not a control of the dialog, but loaded and
    // saved with it.
    virtual QString updateIntervalText() const = 0;
    virtual void setUpdateIntervalText(const QString& text) = 0;

    // The passwords as stored in the settings file (FtpPassword, SmtpPassword).
    virtual QString storedFtpPassword() const = 0;
    virtual QString storedSmtpPassword() const = 0;
    virtual void setStoredPasswords(const QString& ftp, const QString& smtp) = 0;

    // The saved upload choice (at start-up and on Save): e-mail only sets the EmailOnly flag
    // and disables the website update and remote host management; FTP undoes both.
    virtual void setEmailOnlyMode(bool emailOnly) = 0;

    // After a save: the program-wide values read back from the file (stored passwords and
    // their plain copies, AutoStart, the addresses, the camera name and the protocol
    // flags). The FTP and SMTP clients and the interval field are set by the dialog.
    virtual void applySavedSettings(const NetworkSettings& saved) = 0;

    // The website update's Start action, run once at start-up when AutoStart is saved on.
    virtual void startWebsiteUpdate() = 0;

    // The megabytes kept free on the disk (Min_Free_MB): kept by the main window, which
    // writes it at its close too; shown and saved with the dialog's settings.
    virtual int minFreeMb() const { return sif::key::MinFreeMb.def; }
    virtual void setMinFreeMb(int) {}
};

class TfrmNetwork : public QDialog {
    Q_OBJECT
public:
    static constexpr int HelpContext = 15;
    static constexpr int CameraNameLimit = 10;

    // Loads Ostrel.sif of `programFolder` into `settings` (the live settings) and the
    // controls, applies the saved upload choice to the host and, when AutoStart is saved on,
    // starts the website update. Everything passed in must outlive the dialog.
    TfrmNetwork(const QString& programFolder, NetworkSettings& settings, NetworkDialogHost& host,
                TFtpClient& ftp, TSmtpClient& smtp, QWidget* parent = nullptr);
    ~TfrmNetwork() override;

    Ui::TfrmNetwork* ui() const { return ui_.get(); }
    TfrmNetworkHelp* helpWindow() const { return help_; }

    // Starts the edit afresh from the live settings; runs at every showing, so values
    // written into the settings by other parts (the setup wizard) appear.
    void showSettings();

public slots:
    void OKBtnClick();
    void btnCancelClick();
    void btnHelpClick();
    void rbEmailOnlyClick();
    void rbFTPuploadClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void connectControls();
    void refillWhenEmpty(QLineEdit* field, const QString& standard);
    void edCameraNameChange();
    void runAccountTest(AccountTest::Kind kind);
    // What an address field's check says when the focus leaves it; empty when it passes.
    QString addressError(QLineEdit* field) const;

    QString settingsFile_;
    NetworkSettings& settings_;             // the live settings: changed by Save alone
    std::unique_ptr<NetworkSettings> edit_; // what the controls show and edit
    NetworkDialogHost& host_;
    TFtpClient& ftp_;
    TSmtpClient& smtp_;
    std::unique_ptr<Ui::TfrmNetwork> ui_;
    QPointer<TfrmNetworkHelp> help_;
    QPointer<TfrmAccountTest> tester_;
    bool showing_ = false; // the controls are being filled from the settings
    bool placed_ = false;  // centred on the screen at the first showing
};

} // namespace ostrel
