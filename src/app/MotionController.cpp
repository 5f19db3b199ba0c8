#include "app/MotionController.h"
#include "app/Guard.h"
#include "app/mainf.h"
#include "capture/VideoCapture.h"
#include "motion/DetectionSession.h"
#include "net/FtpClient.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "platform/DigitFilter.h"
#include "web/JpegExport.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "ui_mainf.h"
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <climits>

namespace ostrel {

namespace {
const QString TempFrame = QStringLiteral("temp00.bmp");

void paintCaption(QPushButton* button, const QString& text, const char* colour) {
    button->setText(text);
    button->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
}
} // namespace

MotionController::MotionController(TMain& main) : QObject(&main), main_(main) {
    auto* ui = main.ui();
    connect(ui->BitBtnMotion, &QPushButton::clicked, this,
            guarded([this] { BitBtnMotionClick(); }));
    connect(ui->menuMotion, &QAction::triggered, this, guarded([this] { BitBtnMotionClick(); }));
    connect(main.Timer2(), &QTimer::timeout, this, guarded([this] { Timer2Timer(); }));
    DigitFilter::install(ui->edDelay);
    DigitFilter::install(ui->edDetectInterval);
}

bool MotionController::smtpIdle() const {
    const auto* smtp = main_.SmtpClient();
    return smtp->Ready() && !smtp->Connected();
}

void MotionController::BitBtnMotionClick() {
    // A second click while the start delay beeps, or while the stop waits for the FTP
    // client, would run a start or stop inside the one under way.
    if (busy_) return;
    auto* video = main_.VideoCap1();
    if (!video->DriverOpen()) {
        showInformation(QStringLiteral("Select video driver first!"), &main_);
        return;
    }
    detector_.setLastFrameSum(detector_.GetFrameSum(*video, main_.programFolder()));
    if (!timer2Enabled_)
        startSession();
    else
        stopSession();
}

void MotionController::startSession() {
    auto* ui = main_.ui();
    MotionSessionName = motionSessionName(desktop().now());
    MotionSessionFolder = main_.programFolder() + MotionSessionName;
    QDir().mkdir(MotionSessionFolder);

    const int delay = strToInt(ui->edDelay->text());
    if (delay > 0) MotionStartDelay(quint32(delay) * 1000u);

    paintCaption(ui->BitBtnMotion, QStringLiteral("Stop"), "red");
    ui->stMotionActive->show();
    ui->menuMotion->setText(QStringLiteral("Stop Motion Detection"));
    MotionDetectCount = 0;
    ui->lblDetectCount->setText(detectCountText(0));
    ui->ListBox1->clear();
    MotionImageCounter = 0;

    // Seconds can be typed beyond what a millisecond timer holds; such a wait is capped.
    const qint64 interval = qint64(strToInt(ui->edDetectInterval->text())) * 1000;
    timer2Enabled_ = true;
    auto* timer = main_.Timer2();
    timer->setInterval(int(std::clamp<qint64>(interval, 0, INT_MAX)));
    // An interval of 0 means a session without checks, not a check on every idle moment.
    if (interval > 0) timer->start();

    setSessionControlsEnabled(false);
    if (ui->rbRemoteSave->isChecked() && !main_.EmailOnly) main_.FtpClient()->ConnectAsync();
}

void MotionController::stopSession() {
    auto* ui = main_.ui();
    timer2Enabled_ = false;
    main_.Timer2()->stop();
    paintCaption(ui->BitBtnMotion, QStringLiteral("Start"), "green");
    ui->stMotionActive->hide();
    ui->menuMotion->setText(QStringLiteral("Start Motion Detection"));
    MotionNotified = false;
    setSessionControlsEnabled(true);
    if (ui->rbRemoteSave->isChecked()) {
        auto* ftp = main_.FtpClient();
        // The session's connect or an upload may still be running, and the client refuses
        // a quit meanwhile: the connection would stay open, and the next session's connect
        // would fail on it. The running request is let finish (the client's timeout bounds
        // it, and its end reaches the request-done handler) before the quit.
        busy_ = true;
        while (!ftp->Ready()) {
            QEventLoop wait;
            QTimer::singleShot(10, &wait, &QEventLoop::quit);
            wait.exec();
        }
        busy_ = false;
        if (ftp->Connected()) ftp->Quit();
        ftp->setTag(ftptag::None);
    }
}

void MotionController::setSessionControlsEnabled(bool enabled) {
    auto* ui = main_.ui();
    for (QWidget* w : {static_cast<QWidget*>(ui->GroupBox1), static_cast<QWidget*>(ui->GroupBox2),
                       static_cast<QWidget*>(ui->GroupBox3)})
        w->setEnabled(enabled);
    for (QAction* a : {ui->menuVideoDriver1, ui->menuCaptureparameter1, ui->menuVideoCompression1,
                       ui->menuNetwork, ui->menuFileAnimation, ui->menuSnapshot, ui->menuVideo,
                       ui->menuPeriodicUpdate, ui->menuWizard})
        a->setEnabled(enabled);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui->edDetectInterval, ui->edDelay, ui->CheckBoxSound, ui->CheckBoxDetectionSound,
             ui->ScrollBarTreshold, ui->ScrollBarSensitivity, ui->rbLocalSave, ui->rbRemoteSave})
        w->setEnabled(enabled);
    const bool remote = enabled && !main_.EmailOnly;
    ui->menuRemoteMgt->setEnabled(remote);
    ui->btnWebMgt->setEnabled(remote);
    if (enabled) {
        // A compression dialog needs a driver, as the capture status says.
        ui->menuVideoCompression1->setEnabled(main_.VideoCap1()->DriverIndex() != -1);
        // E-mail only keeps the website update unavailable.
        if (main_.EmailOnly) main_.applyEmailOnly();
    }
}

void MotionController::MotionStartDelay(quint32 milliseconds) {
    busy_ = true;
    const quint32 start = desktop().tickCount();
    while (desktop().tickCount() - start < milliseconds) {
        if (main_.ui()->CheckBoxSound->isChecked()) {
            desktop().tone(1100, 800);
            QCoreApplication::processEvents();
        } else {
            // Keep the window alive without spinning the processor.
            QEventLoop wait;
            QTimer::singleShot(20, &wait, &QEventLoop::quit);
            wait.exec();
        }
    }
    busy_ = false;
}

void MotionController::Timer2Timer() {
    // A check whose error box is still open must not be joined by the next ones.
    if (checking_) return;
    checking_ = true;
    try {
        CheckMotion();
    } catch (...) {
        Application::showCurrentException();
    }
    checking_ = false;
}

void MotionController::CheckMotion() {
    if (!timer2Enabled_) return;
    auto* ui = main_.ui();
    const Comparison c = detector_.check(*main_.VideoCap1(), main_.programFolder(),
                                         ui->ScrollBarSensitivity->value(),
                                         ui->ScrollBarTreshold->value());
    if (c.detection) detectionSteps();
}

void MotionController::detectionSteps() {
    auto* ui = main_.ui();
    if (ui->CheckBoxDetectionSound->isChecked()) desktop().messageBeep();
    const int number = nextMotionImageNumber(MotionImageCounter);
    MotionImageFile = MotionSessionFolder + QStringLiteral("/") + motionImageName(number);

    auto* video = main_.VideoCap1();
    const QString frame = main_.programFolder() + TempFrame;
    video->setSingleImageFile(frame);
    if (video->GrabFrameLive()) video->SaveFrameFile();
    SaveBitmapAsJpeg(frame, MotionImageFile);
    ui->ListBox1->addItem(motionImageName(number));
    MotionRemoteName = motionRemoteName(MotionSessionName, desktop().now().time());

    const QString app = QCoreApplication::applicationName();
    auto* smtp = main_.SmtpClient();
    if (!main_.EmailOnly) {
        if (main_.Network.notification && !MotionNotified) {
            // The mail is composed only when no other mail is under way, so a mail in
            // transit is never altered.
            if (smtpIdle()) {
                const MailText mail = notificationMail(app, main_.Camera, desktop().now());
                smtp->EmailFiles().clear();
                smtp->MailMessage().clear();
                smtp->setHdrSubject(mail.subject);
                smtp->MailMessage() = mail.lines;
                startMail();
            }
            MotionNotified = true;
        }
        auto* ftp = main_.FtpClient();
        if (ui->rbRemoteSave->isChecked() && ftp->Tag() == ftptag::Succeeded) {
            ftp->setHostFileName(MotionRemoteName);
            ftp->setLocalFileName(MotionImageFile);
            ftp->setTag(ftptag::None);
            try {
                ftp->PutAsync();
            } catch (const Exception& e) {
                // A connection the host dropped while idle shows only here. It is a failed
                // upload like any other, and the detection goes on, so that its image is
                // counted and not overwritten by the next one.
                const FtpRequestOutcome out =
                    ftpRequestDone(-1, ftp->Tag(), e.message(), main_.errorLog().beepOnErrors());
                ftp->setTag(out.tag);
                report(out.report);
            }
        }
    } else if (ui->rbRemoteSave->isChecked() && smtpIdle()) {
        const MailText mail = imageMail(app, main_.Camera, MotionSessionName, MotionRemoteName);
        smtp->setHdrSubject(mail.subject);
        smtp->EmailFiles().clear();
        smtp->addEmailFile(MotionImageFile);
        smtp->MailMessage() = mail.lines;
        startMail();
    }

    MotionImageCounter = number;
    ++MotionDetectCount;
    ui->lblDetectCount->setText(detectCountText(MotionDetectCount));
}

void MotionController::startMail() {
    try {
        main_.SmtpClient()->Connect();
    } catch (const Exception& e) {
        // A mail that cannot even start (no host, a port that is no number) is reported
        // like one that failed on its way; the detection's other steps still run.
        RequestReport r;
        r.failed = true;
        r.beep = main_.errorLog().beepOnErrors();
        r.statusText = e.message();
        r.logEntry = QStringLiteral(" :   SMTP error = ") + e.message();
        report(r);
    }
}

void MotionController::report(const RequestReport& r) {
    if (r.beep) desktop().messageBeep();
    if (!r.statusText.isEmpty()) main_.statusPanel(1)->setText(r.statusText);
    if (!r.logEntry.isEmpty()) main_.errorLog().add(r.logEntry);
}

} // namespace ostrel
