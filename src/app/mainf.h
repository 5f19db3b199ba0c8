#pragma once
// The main window: the hub that owns the capture device, the error log, the program-wide
// state and one controller per subsystem.
#include "app/ControlStates.h"
#include "app/DiskGuard.h"
#include "app/ErrorLog.h"
#include "app/LogForm.h"
#include "app/MainWindowParts.h"
#include "app/Settings.h"
#include "capture/CaptureDriver.h"
#include "setup/SetupWizard.h"
#include "setup/dlgNetwork.h"
#include "net/NetworkSettings.h"
#include "viewer/unAnimation.h"
#include "web/WebPageState.h"
#include "web/unBrowser.h"
#include "web/unBrowserConf.h"
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QLabel;
class QTimer;

namespace Ui {
class TMain;
}

namespace ostrel {

class TVideoCapture;
class TLogForm;
class DisplayController;
class ManualSaveController;
class MotionController;
class ImageListController;
class WebsiteController;
class TransferController;
class TFtpClient;
class TSmtpClient;

class TMain : public QMainWindow,
              public NetworkDialogHost,
              public SetupWizardHost,
              public MainWindowParts {
    Q_OBJECT
public:
    // Runs the create sequence; `programFolder` holds every file the program keeps.
    TMain(QString programFolder, std::shared_ptr<DriverRegistry> drivers,
          QWidget* parent = nullptr);
    ~TMain() override; // the destroy step: remembers the driver in vcap.sif

    // The windows created after the main window, in their order.
    void createWindows();

    Ui::TMain* ui() const override { return ui_.get(); }
    QWidget* dialogParent() override { return this; }
    TVideoCapture* VideoCap1() const override { return VideoCap1_; }
    ErrorLog& errorLog() override { return errorLog_; }
    DiskGuard& diskGuard() override { return diskGuard_; }
    Outbox& outbox() override { return *outbox_; }
    TLogForm* logForm() const { return logForm_; }
    const QString& programFolder() const override { return programFolder_; }
    QLabel* statusPanel(int index) const;
    QTimer* Timer1() const override { return Timer1_; }
    QTimer* Timer2() const override { return Timer2_; }
    void showStatus(const QString& text) override;
    void report(const RequestReport& r) override;
    const NetworkSettings& network() const override { return Network; }
    QString& camera() override { return Camera; }
    bool emailOnly() const override { return EmailOnly; }
    bool disableOnFail() const override { return Network.failDisable; }
    bool cameraLost() const override;
    int cameraReturns() const override;

    // Program-wide state other parts read and write.
    bool EmailOnly = false;
    bool FirstRun = true;
    QString Camera;
    // The web access page's name and its changes not yet uploaded.
    WebPageState WebPage;
    QString FtpPassword;
    QString SmtpPassword;
    QString FtpPlainPassword;
    QString SmtpPlainPassword;
    QString HelpFilePath;
    QImage CaptureBitmap;

    // The live network settings as saved (by the network settings dialog or the wizard).
    NetworkSettings Network;

    TFtpClient* FtpClient() const override { return FtpClient_; }
    TSmtpClient* SmtpClient() const override { return SmtpClient_; }
    ManualSaveController* manualSave() const { return manualSave_.get(); }
    MotionController* motion() const { return motion_.get(); }
    ImageListController* imageList() const { return imageList_.get(); }
    WebsiteController* website() const { return website_.get(); }

    // Recording button and menu captions for the recording state.
    void RecordingCaptions(bool recording) override;
    // Whether the create sequence got as far as a connected capture device.
    bool startedWithVideo() const { return startedWithVideo_; }

    TfrmNetwork* frmNetwork() const { return frmNetwork_; }
    TfrmAnimation* frmAnimation() const { return frmAnimation_; }
    TfrmBrowserConf* frmBrowserConf() const { return frmBrowserConf_; }
    TfrmBrowser* frmBrowser() const { return frmBrowser_; }

    // What the network settings dialog needs of the main window.
    QString updateIntervalText() const override;
    void setUpdateIntervalText(const QString& text) override;
    QString storedFtpPassword() const override { return FtpPassword; }
    QString storedSmtpPassword() const override { return SmtpPassword; }
    void setStoredPasswords(const QString& ftp, const QString& smtp) override;
    void setEmailOnlyMode(bool emailOnly) override;
    void applySavedSettings(const NetworkSettings& saved) override;
    void startWebsiteUpdate() override;
    int minFreeMb() const override;
    void setMinFreeMb(int megabytes) override;

    // What the setup wizard sets.
    QString ftpPlainPassword() const override { return FtpPlainPassword; }
    QString smtpPlainPassword() const override { return SmtpPlainPassword; }
    void setFtpPlainPassword(const QString& password) override { FtpPlainPassword = password; }
    void setSmtpPlainPassword(const QString& password) override { SmtpPlainPassword = password; }
    void setFirstRun(bool on) override { FirstRun = on; }
    void wizardEnded() override;
    SetupWizard* wizard() const { return wizard_; }

    // Enables the controls and sets the session captions for the program's state; called
    // whenever that state changes.
    void updateControls() override;
    ProgramState programState() const;
    // The setup wizard or remote host management is open.
    void setWindowOpen(bool open);
    // Recipients and header of the notification mails from the current addresses.
    void prepareNotificationMail();

    // A close asked for by a signal: nobody is there to answer a question.
    void closeBySignal();

public slots:
    void menuViewErrorLogClick();
    void menuCaptureDriverClick();
    void menuAboutClick();
    // "Run Configuration Wizard...": an open FTP connection is quit and an SMTP one
    // aborted, then the wizard runs.
    void menuWizardClick();
    // The Remote Host Management button and menu entry: an open FTP connection is closed,
    // then the management window is shown modally.
    void btnWebMgtClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void runWizard();
    void FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void loadSettings();
    // The one place where saved network settings become program-wide values.
    void takeNetworkSettings(const NetworkSettings& saved);
    // The main window's own keys, into and out of its controls.
    void showWindowSettings(const MainWindowSettings& w);
    MainWindowSettings windowSettings() const;
    void connectMenus();
    void installHints();
    void deleteTemporaryFiles();

    QString programFolder_;
    std::unique_ptr<Ui::TMain> ui_;
    ErrorLog errorLog_;
    DiskGuard diskGuard_{*this};
    TVideoCapture* VideoCap1_ = nullptr;
    TFtpClient* FtpClient_ = nullptr;
    TSmtpClient* SmtpClient_ = nullptr;
    Outbox* outbox_ = nullptr;
    std::unique_ptr<DisplayController> display_;
    std::unique_ptr<ManualSaveController> manualSave_;
    std::unique_ptr<TransferController> transfer_;
    std::unique_ptr<MotionController> motion_;
    std::unique_ptr<ImageListController> imageList_;
    std::unique_ptr<WebsiteController> website_;
    QPointer<TLogForm> logForm_;
    QPointer<TfrmNetwork> frmNetwork_;
    QPointer<TfrmAnimation> frmAnimation_;
    QPointer<TfrmBrowserConf> frmBrowserConf_;
    QPointer<TfrmBrowser> frmBrowser_;
    QPointer<SetupWizard> wizard_;
    QTimer* Timer1_ = nullptr; // website update
    QTimer* Timer2_ = nullptr; // motion checks
    QLabel* panel0_ = nullptr;
    QLabel* panel1_ = nullptr;
    bool shown_ = false;
    bool closed_ = false;
    bool closingBySignal_ = false;
    static constexpr int SignalFtpTimeout = 2; // seconds
    bool startedWithVideo_ = false;
    bool windowOpen_ = false;
};

} // namespace ostrel
