#include "app/mainf.h"
#include "app/About.h"
#include "app/ControlStates.h"
#include "app/DisplayController.h"
#include "app/ImageListController.h"
#include "app/LogForm.h"
#include "app/MainHints.h"
#include "app/ManualSaveController.h"
#include "app/MotionController.h"
#include "app/Outbox.h"
#include "app/Settings.h"
#include "app/TransferController.h"
#include "app/WebsiteController.h"
#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "net/FtpClient.h"
#include "app/RequestReport.h"
#include "net/SmtpClient.h"
#include "picture/Bitmap.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/FileWrites.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "ui_mainf.h"
#include "viewer/unAnimation.h"
#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace ostrel {

TMain::TMain(QString programFolder, std::shared_ptr<DriverRegistry> drivers, QWidget* parent)
    : QMainWindow(parent), programFolder_(withSlash(programFolder)),
      ui_(std::make_unique<Ui::TMain>()), errorLog_(programFolder_) {
    ui_->setupUi(this);
    VideoCap1_ = new TVideoCapture(std::move(drivers), programFolder_, ui_->PanelVideo);
    VideoCap1_->setObjectName(QStringLiteral("VideoCap1"));
    ui_->videoLayout->addWidget(VideoCap1_);
    VideoCap1_->setPreviewRate(15);

    panel0_ = new QLabel(this);
    panel0_->setObjectName(QStringLiteral("StatusPanel0"));
    panel0_->setFixedWidth(400);
    panel0_->setAccessibleDescription(QStringLiteral("Hint"));
    panel1_ = new QLabel(this);
    panel1_->setObjectName(QStringLiteral("StatusPanel1"));
    panel1_->setMinimumWidth(300);
    panel1_->setAccessibleDescription(QStringLiteral("Status"));
    // The status shows servers' replies and file names: text as it came, never markup.
    for (QLabel* panel : {panel0_, panel1_})
        panel->setTextFormat(Qt::PlainText);
    ui_->StatusBar1->addWidget(panel0_);
    ui_->StatusBar1->addWidget(panel1_, 1);

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer2_ = new QTimer(this);
    Timer2_->setObjectName(QStringLiteral("Timer2"));

    // The one FTP client and the one SMTP client of the program, with the main window's
    // component settings; Ostrel.sif replaces them when it exists.
    FtpClient_ = new TFtpClient(this);
    FtpClient_->setObjectName(QStringLiteral("FtpClient"));
    FtpClient_->setPassive(false);
    FtpClient_->setBinary(true);
    // Downloads from the host make room as the program's own pictures do, or are refused.
    FtpClient_->setRoomCheck(
        [this] { return diskGuard_.roomToWrite(QStringLiteral("Download not saved")); });
    SmtpClient_ = new TSmtpClient(this);
    SmtpClient_->setObjectName(QStringLiteral("SmtpClient"));
    outbox_ = new Outbox(*this, this);

    display_ = std::make_unique<DisplayController>(*this, this);
    manualSave_ = std::make_unique<ManualSaveController>(*this, this);
    transfer_ = std::make_unique<TransferController>(*this, this);
    motion_ = std::make_unique<MotionController>(*this, this);
    imageList_ = std::make_unique<ImageListController>(*this, *motion_, this);
    website_ = std::make_unique<WebsiteController>(*this, this);
    transfer_->onReestablished = [this] { website_->Reestablish(); };
    connectMenus();
    installHints();
    FormCreate();
}

TMain::~TMain() {
    try {
        FormDestroy();
    } catch (...) {
        Application::showCurrentException();
    }
    // The controllers refer to the window's widgets: let them go first.
    website_.release()->deleteLater();
    motion_.release()->deleteLater();
    transfer_.release()->deleteLater();
    manualSave_.release()->deleteLater();
    display_.release()->deleteLater();
}

QLabel* TMain::statusPanel(int index) const {
    return index == 0 ? panel0_ : panel1_;
}

void TMain::showStatus(const QString& text) {
    panel1_->setText(text);
}

void TMain::report(const RequestReport& r) {
    if (!r.failed) return;
    if (r.beep) desktop().messageBeep();
    if (!r.statusText.isEmpty()) showStatus(r.statusText);
    if (!r.logEntry.isEmpty()) errorLog_.add(r.logEntry);
}

void TMain::createWindows() {
    // The about box is created for each use; the error log window lives for the run.
    logForm_ = new TLogForm(errorLog_, this);
    logForm_->setObjectName(QStringLiteral("LogForm"));
    // The network settings dialog loads its own copy of the settings when it is created,
    // and may start the website update.
    frmNetwork_ = new TfrmNetwork(programFolder_, Network, *this, *FtpClient_, *SmtpClient_, this);
    frmNetwork_->setObjectName(QStringLiteral("frmNetwork"));
    frmAnimation_ = new TfrmAnimation(programFolder_, this);
    frmAnimation_->setObjectName(QStringLiteral("frmAnimation"));
    frmBrowser_ = new TfrmBrowser(programFolder_, WebPage, *FtpClient_, Network, this);
    frmBrowser_->setObjectName(QStringLiteral("frmBrowser"));
    connect(frmBrowser_, &TfrmBrowser::pageFileFailed, this,
            [this](const QString& text) { errorLog_.addQuietly(QStringLiteral(" :   ") + text); });
    WebPageHooks hooks;
    hooks.ftpHost = [this] { return FtpClient_->HostName(); };
    hooks.ftpUser = [this] { return FtpClient_->UserName(); };
    hooks.openRemoteHostManagement = guarded([this] { btnWebMgtClick(); });
    hooks.nameChangeCancelled = [this] { frmBrowser_->showNameUnchanged(); };
    frmBrowserConf_ = new TfrmBrowserConf(programFolder_, WebPage, std::move(hooks), this);
    frmBrowserConf_->setObjectName(QStringLiteral("frmBrowserConf"));
    wizard_ = new SetupWizard(
        WizardParts{programFolder_, Network, *this, *this, *FtpClient_, *SmtpClient_}, this);
}

QString TMain::updateIntervalText() const {
    return ui_->EditInterval->text();
}

void TMain::setUpdateIntervalText(const QString& text) {
    ui_->EditInterval->setText(text);
}

void TMain::setStoredPasswords(const QString& ftp, const QString& smtp) {
    FtpPassword = ftp;
    SmtpPassword = smtp;
}

void TMain::setEmailOnlyMode(bool emailOnly) {
    EmailOnly = emailOnly;
    updateControls();
}

void TMain::applySavedSettings(const NetworkSettings& saved) {
    takeNetworkSettings(saved);
    FtpPlainPassword = FtpPassword;
    SmtpPlainPassword = SmtpPassword;
}

int TMain::minFreeMb() const {
    return diskGuard_.minFreeMb;
}

void TMain::setMinFreeMb(int megabytes) {
    diskGuard_.minFreeMb = megabytes;
}

void TMain::showWindowSettings(const MainWindowSettings& w) {
    ui_->ScrollBarTreshold->setValue(w.treshold);
    ui_->ScrollBarSensitivity->setValue(w.sensitivity);
    ui_->edDetectInterval->setText(w.interval);
    ui_->edDelay->setText(w.startDelay);
    ui_->CheckBoxSound->setChecked(w.delaySound);
    ui_->CheckBoxDetectionSound->setChecked(w.detectionSound);
    (w.remoteSave ? ui_->rbRemoteSave : ui_->rbLocalSave)->setChecked(true);
    ui_->menuLogErrors->setChecked(w.logErrors);
    ui_->menuErrorBeep->setChecked(w.errorBeep);
    FirstRun = w.firstRun;
    diskGuard_.minFreeMb = w.minFreeMb;
}

MainWindowSettings TMain::windowSettings() const {
    MainWindowSettings w;
    w.treshold = ui_->ScrollBarTreshold->value();
    w.sensitivity = ui_->ScrollBarSensitivity->value();
    w.interval = ui_->edDetectInterval->text();
    w.startDelay = ui_->edDelay->text();
    w.delaySound = ui_->CheckBoxSound->isChecked();
    w.detectionSound = ui_->CheckBoxDetectionSound->isChecked();
    w.remoteSave = ui_->rbRemoteSave->isChecked();
    w.logErrors = ui_->menuLogErrors->isChecked();
    w.errorBeep = ui_->menuErrorBeep->isChecked();
    w.firstRun = FirstRun;
    w.minFreeMb = diskGuard_.minFreeMb;
    return w;
}

void TMain::takeNetworkSettings(const NetworkSettings& saved) {
    FtpPassword = saved.ftpPassword;
    SmtpPassword = saved.emailPassword;
    Camera = saved.cameraName;
    EmailOnly = saved.emailOnly;
}

void TMain::startWebsiteUpdate() {
    website_->Start();
}

void TMain::FormCreate() {
    const QString& folder = programFolder_;
    resize(640, 480);
    setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" - Remote Surveillance"));
    CaptureBitmap = QImage();
    // Writes cut off by a crash or a power cut leave their temporary files behind.
    removeInterruptedWrites(folder);

    QDir dir(folder);
    for (const char* sub : {"Snapshots", "Videos", "Downloaded Images"})
        if (!dir.exists(sub)) dir.mkdir(sub);
    if (!QFile::exists(folder + "Capture.bmp")) bitmap::save(folder + "Capture.bmp", CaptureBitmap);
    errorLog_.ensureFileExists();
    // The log is kept from the start, so errors reported while starting are not lost.
    errorLog_.reload();
    // A settings file that cannot be read is not passed over in silence for the defaults.
    for (const char* name : {sif::ProgramFile, sif::DriverFile}) {
        if (const QString problem = IniFile(folder + name).problem(); !problem.isEmpty()) {
            errorLog_.addQuietly(QStringLiteral(" :   ") + problem);
            showStatus(problem);
        }
    }

    IniFile vcap(folder + sif::DriverFile);
    VideoCap1_->setDriverIndex(readDriverIndex(vcap));
    if (VideoCap1_->DriverName().isEmpty()) {
        desktop().messageBeep();
        showWarning(
            QStringLiteral("Could not activate video input device. Select a capture driver first."),
            this);
        try {
            runCaptureDriverCommand(*VideoCap1_, this);
        } catch (...) {
            Application::showCurrentException();
        }
    }

    loadSettings();
    ui_->EditCapPicture->setText(QStringLiteral("Snapshot.bmp"));
    ui_->EditVideoFile->setText(VideoCap1_->VideoFileName());

    // Without a connected driver the window runs without live video; the error was shown
    // by the driver command. The remaining steps do not depend on the camera and run anyway.
    if (VideoCap1_->DriverIndex() != -1) {
        try {
            VideoCap1_->setDriverOpen(true);
            if (VideoCap1_->DriverOpen() && VideoCap1_->HasOverlay())
                ui_->CheckOverl->setChecked(true);
            else
                ui_->CheckPrev->setChecked(true);
            ui_->CheckProportional->setChecked(true);
            ui_->CheckFitWindow->setChecked(true);
            startedWithVideo_ = VideoCap1_->DriverOpen();
        } catch (...) {
            Application::showCurrentException();
        }
    }

    updateControls();
    prepareNotificationMail();
    HelpFilePath = folder + QStringLiteral("Help/");
}

void TMain::loadSettings() {
    if (!QFile::exists(programFolder_ + sif::ProgramFile)) return;
    const StoredSettings s = readStoredSettings(IniFile(programFolder_ + sif::ProgramFile));

    showWindowSettings(s.window);

    applyCaptureParameters(*VideoCap1_, s.capture, OutOfRange::Clamp);

    const NetworkSettings& net = s.network;
    applyFtpAccount(net, *FtpClient_);
    ui_->EditInterval->setText(s.updateInterval);
    applySmtpAccount(net, *SmtpClient_);
    takeNetworkSettings(net);
    Network = net;
}

ProgramState TMain::programState() const {
    ProgramState st;
    st.driver = VideoCap1_->DriverIndex() != -1;
    st.detecting = motion_ && motion_->running();
    st.updating = website_ && website_->running();
    st.updateHasRun = website_ && website_->hasRun();
    st.recording = VideoCap1_->IsRecording();
    st.emailOnly = EmailOnly;
    st.windowOpen = windowOpen_;
    if (st.driver) {
        st.hasOverlay = VideoCap1_->HasOverlay();
        st.hasFormatDialog = VideoCap1_->HasFormatDialog();
        st.hasSourceDialog = VideoCap1_->HasSourceDialog();
        st.hasDisplayDialog = VideoCap1_->HasDisplayDialog();
    } else if (display_ && display_->cameraLost()) {
        st.hasSourceDialog = display_->lostCameraHasSourceDialog();
    }
    return st;
}

void TMain::updateControls() {
    const ProgramState st = programState();
    const MainWindowLook look = mainWindowLook(st);
    for (const ControlEnabled& c : look.controls) {
        if (QObject* control = findChild<QObject*>(QLatin1String(c.name)))
            control->setProperty("enabled", c.enabled);
    }
    // The captions are what a screen reader says for the buttons: they carry no fixed
    // accessible name.
    const auto caption = [](QPushButton* button, const QString& text) {
        button->setText(text);
        button->setStyleSheet(text == QLatin1String("Stop") ? QStringLiteral("color: red;")
                                                            : QStringLiteral("color: green;"));
    };
    caption(ui_->BitBtnMotion, look.motionCaption);
    ui_->menuMotion->setText(look.motionMenu);
    ui_->stMotionActive->setVisible(st.detecting);
    caption(ui_->BitBtnFrameCap, look.updateCaption);
    ui_->menuPeriodicUpdate->setText(look.updateMenu);
    ui_->stWebUpdate->setVisible(st.updating);
    QPalette palette = ui_->GroupBox3->palette();
    palette.setColor(QPalette::WindowText, look.websiteGroupGrey
                                               ? QColor(128, 128, 128)
                                               : this->palette().color(QPalette::WindowText));
    ui_->GroupBox3->setPalette(palette);
}

void TMain::setWindowOpen(bool open) {
    windowOpen_ = open;
    updateControls();
}

void TMain::prepareNotificationMail() {
    addressNotificationMail(*SmtpClient_, Network.destinationAddress, Network.ccAddress);
    SmtpClient_->setHdrSubject(QCoreApplication::applicationName() +
                               QStringLiteral(" motion detection "));
}

void TMain::RecordingCaptions(bool recording) {
    ui_->BtStartStop->setText(recording ? QStringLiteral("Stop Video")
                                        : QStringLiteral("Start Video"));
    ui_->BtStartStop->setStyleSheet(recording ? QStringLiteral("color: red;")
                                              : QStringLiteral("color: green;"));
    ui_->menuVideo->setText(recording ? QStringLiteral("Stop Video Recording")
                                      : QStringLiteral("Start Video Recording"));
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TMain::FormShow() {
    // Run once the window is on the screen, not inside its show event.
    if (FirstRun)
        QMetaObject::invokeMethod(this, guarded([this] { runWizard(); }), Qt::QueuedConnection);
}

void TMain::runWizard() {
    if (!wizard_ || wizard_->running() || closed_) return;
    setWindowOpen(true);
    wizard_->run();
}

void TMain::wizardEnded() {
    setWindowOpen(false);
    if (closed_) return;
    activateWindow();
    setFocus();
}

void TMain::menuWizardClick() {
    if (FtpClient_->Connected()) FtpClient_->Quit();
    if (SmtpClient_->Connected()) SmtpClient_->Abort();
    runWizard();
}

void TMain::closeEvent(QCloseEvent* event) {
    event->accept(); // the close is never refused
    if (closed_) return;
    closed_ = true;
    if (wizard_) wizard_->end();
    motion_->stopStartDelay();
    try {
        FormCloseQuery();
    } catch (...) {
        Application::showCurrentException();
    }
    FormClose();
}

void TMain::closeBySignal() {
    closingBySignal_ = true;
    close();
}

void TMain::FormCloseQuery() {
    // A close by a signal has nobody to answer: the changes stay local, as on No.
    if (!WebPage.PageChangesPending) return;
    if (!closingBySignal_) {
        desktop().messageBeep();
        const MsgButton answer = desktop().messageBox(
            MsgKind::Warning,
            QStringLiteral("There are changes to the Webpage that have not yet been uploaded.\n"
                           "Do you want to upload them now ?"),
            MsgButton::Yes | MsgButton::No, this);
        if (answer == MsgButton::Yes) {
            btnWebMgtClick();
            return;
        }
    }
    WebPage.PageChangesPending = false;
    QFile::remove(programFolder_ + QStringLiteral("Server/testview.html"));
}

void TMain::FormClose() {
    // Each step runs even when an earlier one failed: the user's log and files matter more
    // than a settings write that could not be done. The cause is kept in the log with its
    // time (standard error when the log cannot be written), and shown in a box unless the
    // close came from a signal, with nobody to read it.
    auto step = [this](auto&& work) {
        try {
            work();
        } catch (...) {
            errorLog_.addQuietly(QStringLiteral(" :   ") + Application::currentExceptionText());
            Application::showCurrentException();
        }
    };
    // The recording's file is finished before anything else happens.
    step([&] { manualSave_->stopRecording(); });
    FtpPassword = Network.ftpPassword;
    SmtpPassword = Network.emailPassword;
    step([&] {
        IniFile ini(programFolder_ + sif::ProgramFile, IniFile::Access::OwnerOnly);
        CloseSettings s;
        s.window = windowSettings();
        s.updateInterval = ui_->EditInterval->text();
        s.ftpPassword = FtpPassword;
        s.smtpPassword = SmtpPassword;
        writeCloseSettings(ini, s);
    });
    step([&] {
        if (ui_->menuLogErrors->isChecked()) errorLog_.flush();
    });
    step([&] { deleteTemporaryFiles(); });
    // Publishing the stop pictures: when the host could not be reached, the close ends
    // there, as the rest would only wait on the same dead connection.
    bool goOn = true;
    // A transfer still under way (a download the host trickles out) would hold the client,
    // and so the stop pictures: the close ends it.
    step([&] { FtpClient_->Cancel(); });
    // A signal's close must end within seconds: a host that does not answer is given up
    // sooner than the usual time-out.
    if (closingBySignal_ &&
        (FtpClient_->Timeout() <= 0 || FtpClient_->Timeout() > SignalFtpTimeout))
        FtpClient_->setTimeout(SignalFtpTimeout);
    step([&] {
        if (website_->running()) goOn = website_->StopForClose();
    });
    if (!goOn) {
        if (logForm_) logForm_->hide();
        return;
    }
    step([&] {
        if (FtpClient_->Connected()) FtpClient_->Quit();
    });
    step([&] {
        if (SmtpClient_->Connected()) SmtpClient_->Abort();
    });
    step([&] { desktop().help(HelpCommand::Quit); });
    if (logForm_) logForm_->hide();
}

void TMain::deleteTemporaryFiles() {
    for (const char* name :
         {"Server/testview.html", "Server/newlook.html", "temp00.bmp", "TempRemoteFile.jpg",
          "Capture.jpg", "datetime.bmp", "HostImagesList.lst"})
        QFile::remove(programFolder_ + name);
}

void TMain::FormDestroy() {
    IniFile vcap(programFolder_ + sif::DriverFile);
    // A camera that went away is looked for again at the next start.
    writeDriverIndex(vcap, display_ ? display_->driverIndexToKeep() : VideoCap1_->DriverIndex());
}

bool TMain::cameraLost() const {
    return display_ && display_->cameraLost();
}

int TMain::cameraReturns() const {
    return display_ ? display_->cameraReturns() : 0;
}

void TMain::connectMenus() {
    auto* ui = ui_.get();
    connect(ui->menuExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->menuViewErrorLog, &QAction::triggered, this,
            guarded([this] { menuViewErrorLogClick(); }));
    connect(ui->menuVideoDriver1, &QAction::triggered, this,
            guarded([this] { menuCaptureDriverClick(); }));
    connect(ui->menuAbout, &QAction::triggered, this, guarded([this] { menuAboutClick(); }));
    connect(ui->menuWizard, &QAction::triggered, this, guarded([this] { menuWizardClick(); }));
    connect(ui->menuNetwork, &QAction::triggered, this, guarded([this] {
                if (frmNetwork_) frmNetwork_->exec();
            }));
    connect(ui->menuBrowserConf, &QAction::triggered, this, guarded([this] {
                if (frmBrowserConf_) frmBrowserConf_->exec();
            }));
    connect(ui->menuRemoteMgt, &QAction::triggered, this, guarded([this] { btnWebMgtClick(); }));
    connect(ui->btnWebMgt, &QPushButton::clicked, this, guarded([this] { btnWebMgtClick(); }));
    connect(ui->menuFileAnimation, &QAction::triggered, this, guarded([this] {
                if (frmAnimation_) frmAnimation_->exec();
            }));
    connect(ui->menuVideoSource, &QAction::triggered, this, guarded([this] {
                if (display_->cameraLost())
                    display_->showLostCameraSource();
                else
                    VideoCap1_->ShowSourceDialog();
            }));
    connect(ui->menuVideoFormat, &QAction::triggered, this,
            guarded([this] { VideoCap1_->ShowFormatDialog(); }));
    connect(ui->menuVideoDisplay, &QAction::triggered, this,
            guarded([this] { VideoCap1_->ShowDisplayDialog(); }));
    connect(ui->menuVideoCompression1, &QAction::triggered, this,
            guarded([this] { VideoCap1_->ShowCompressionDialog(); }));
    connect(ui->menuHelpContents, &QAction::triggered, this,
            guarded([] { desktop().help(HelpCommand::Contents); }));
    connect(ui->menuHelpIndex, &QAction::triggered, this,
            guarded([] { desktop().help(HelpCommand::Index); }));
    // F1 here is the contents; the other windows open their own topics with it.
    ui->menuHelpContents->setShortcutContext(Qt::WindowShortcut);

    // The error switches are consulted by every writer at the moment of the error.
    connect(ui->menuLogErrors, &QAction::toggled, this,
            [this](bool on) { errorLog_.setLogErrors(on); });
    connect(ui->menuErrorBeep, &QAction::toggled, this,
            [this](bool on) { errorLog_.setBeepOnErrors(on); });
    // A log that cannot be written is told once, where an unattended run leaves it in view.
    connect(&errorLog_, &ErrorLog::writeFailed, this, &TMain::showStatus);
    errorLog_.setLogErrors(ui->menuLogErrors->isChecked());
    errorLog_.setBeepOnErrors(ui->menuErrorBeep->isChecked());

    auto sliderLabel = [](QLabel* label) {
        return [label](int position) { label->setText(QString::number(position) + "%"); };
    };
    connect(ui->ScrollBarSensitivity, &QScrollBar::valueChanged, this,
            sliderLabel(ui->lblSensitivity));
    connect(ui->ScrollBarTreshold, &QScrollBar::valueChanged, this, sliderLabel(ui->lblTreshold));
}

void TMain::menuViewErrorLogClick() {
    errorLog_.reload();
    if (!logForm_) createWindows();
    logForm_->show();
    logForm_->raise();
    logForm_->activateWindow();
}

void TMain::menuCaptureDriverClick() {
    runCaptureDriverCommand(*VideoCap1_, this);
}

void TMain::btnWebMgtClick() {
    if (FtpClient_->Connected()) FtpClient_->Quit();
    if (frmBrowser_) frmBrowser_->exec();
}

void TMain::menuAboutClick() {
    TAboutDlg about(this);
    about.exec();
}

void TMain::installHints() {
    // Mouse moves reach the deepest control first and bubble up to its group box; the
    // hint is set by the nearest control that has one (see eventFilter).
    auto hinted = findChildren<QWidget*>();
    hinted.append(VideoCap1_);
    for (QWidget* w : hinted) {
        if (mainWindowHint(w->objectName()).kind == HintKind::None) continue;
        w->setMouseTracking(true);
        w->installEventFilter(this);
        if (auto* list = qobject_cast<QAbstractScrollArea*>(w)) {
            list->viewport()->setMouseTracking(true);
            list->viewport()->installEventFilter(this);
        }
    }
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A list's viewport speaks for its list.
        if (widget && mainWindowHint(widget->objectName()).kind == HintKind::None &&
            widget->parentWidget())
            widget = widget->parentWidget();
        if (widget) {
            QWidget* under = widget;
            if (event->type() == QEvent::MouseMove) {
                const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
                if (QWidget* child = widget->childAt(pos)) under = child;
            }
            Hint hint;
            while (under) {
                hint = mainWindowHint(under->objectName());
                if (hint.kind != HintKind::None || under == widget) break;
                under = under->parentWidget();
            }
            if (under == widget) {
                if (hint.kind == HintKind::Text)
                    panel0_->setText(hint.text);
                else if (hint.kind == HintKind::Clear)
                    panel0_->clear();
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace ostrel
