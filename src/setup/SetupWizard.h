#pragma once
// The setup wizard: three pages and a final page that walk a new user through the FTP and
// e-mail accounts, copy the answers into the live network settings and the running
// clients, write them to the settings file and upload the files the web page needs.
//
// Page 1 is shown modally; the other pages replace it on the screen while the wizard's
// own modal state goes on, and run() returns only when the wizard ends: by Finish and the
// final page's OK, by a confirmed Cancel Wizard, or by closing a page.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
class QWidget;

namespace ostrel {

class NetworkDialogHost;
class TFtpClient;
class TSmtpClient;
class TfrmWizard1;
class TfrmWizard2;
class TfrmWizard3;
class TWizardDone;
struct NetworkSettings;

// The program-wide values the wizard sets, owned by the main window.
class SetupWizardHost {
public:
    virtual ~SetupWizardHost() = default;
    virtual QString ftpPlainPassword() const = 0;
    virtual QString smtpPlainPassword() const = 0;
    virtual void setFtpPlainPassword(const QString& password) = 0;
    virtual void setSmtpPlainPassword(const QString& password) = 0;
    virtual void setFirstRun(bool on) = 0;
    // The wizard has ended: the main window takes the focus.
    virtual void wizardEnded() = 0;
};

// Everything the pages work on; all of it outlives the wizard.
struct WizardParts {
    QString programFolder;
    NetworkSettings& network;      // the main window's live network settings
    NetworkDialogHost& dialogHost; // stored passwords and the upload choice's reaction
    SetupWizardHost& host;
    TFtpClient& ftp;
    TSmtpClient& smtp;
};

class SetupWizard : public QObject {
    Q_OBJECT
public:
    static constexpr int HelpContext = 8;

    // Creates the four windows, hidden; `parent` is the window they belong to.
    SetupWizard(WizardParts parts, QWidget* parent);
    ~SetupWizard() override;

    // Shows page 1 and returns when the wizard has ended.
    void run();
    bool running() const { return loop_ != nullptr; }
    // Ends the wizard: every page closes and run() returns.
    void end();

    // Shows page 1, 2 or 3 and hides the other two.
    void showPage(int page);
    // "Cancel Wizard" on any page: asks, and on Yes clears FirstRun and ends the wizard.
    void cancelWizard(QWidget* page);

    // The answer to the FTP question as last accepted by "Next".
    bool HasFtpAccount = false;

    WizardParts& parts() { return parts_; }
    TfrmWizard1* page1() const;
    TfrmWizard2* page2() const;
    TfrmWizard3* page3() const;
    TWizardDone* donePage() const;

private:
    WizardParts parts_;
    QPointer<TfrmWizard1> page1_;
    QPointer<TfrmWizard2> page2_;
    QPointer<TfrmWizard3> page3_;
    QPointer<TWizardDone> done_;
    QEventLoop* loop_ = nullptr;
};

// A page of steps 1-3: modal for the application, help context 8 on F1, and a close by the
// title bar (or Escape) ends the whole wizard, leaving FirstRun as it is.
class WizardPage : public QDialog {
    Q_OBJECT
public:
    WizardPage(SetupWizard& wizard, QWidget* parent);
    void reject() override;

protected:
    SetupWizard& wizard_;
    bool busy_ = false; // uploading: the page cannot be left
};

} // namespace ostrel
