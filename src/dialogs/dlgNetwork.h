#pragma once
// The network settings dialog: the FTP and SMTP accounts, the upload choice between FTP and
// e-mail, the notifications and the camera name.
//
// The dialog edits the main window's live NetworkSettings: every change of a control is
// written into it at once, so the parts that read it see the current state, saved or not.
// "Save Settings" writes the settings file, reads it back into the running program (the FTP
// and SMTP clients directly, everything else through the host) and closes with OK; "Cancel"
// closes and keeps the edits for the next showing.
#include "dialogs/unNetworkHelp.h"
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

    // The upload choice takes effect the moment it is made: e-mail only sets the EmailOnly
    // flag and disables the website update and remote host management; FTP undoes both.
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

    // Loads Ostrel.sif of `programFolder` into `settings` and the controls, applies the
    // saved upload choice to the host and, when AutoStart is saved on, starts the website
    // update. Everything passed in must outlive the dialog.
    TfrmNetwork(const QString& programFolder, NetworkSettings& settings, NetworkDialogHost& host,
                TFtpClient& ftp, TSmtpClient& smtp, QWidget* parent = nullptr);
    ~TfrmNetwork() override;

    Ui::TfrmNetwork* ui() const { return ui_.get(); }
    TfrmNetworkHelp* helpWindow() const { return help_; }

    // Shows the live settings in the controls; runs at every showing, so values written
    // into the settings by other parts (the setup wizard) appear.
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
    NetworkSettings& settings_;
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
