#include "app/MotionController.h"
#include "app/DiskGuard.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/Outbox.h"
#include "capture/VideoCapture.h"
#include "motion/DetectionSession.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "app/RequestReport.h"
#include "picture/JpegExport.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Exception.h"
#include "platform/Guard.h"
#include "ui_mainf.h"
#include <QDir>
#include <QLabel>
#include <QTimer>
#include <climits>

namespace ostrel {

namespace {
const QString TempFrame = QStringLiteral("temp00.bmp");
} // namespace

MotionController::MotionController(MainWindowParts& main, QObject* parent)
    : QObject(parent), main_(main) {
    auto* ui = main.ui();
    connect(ui->BitBtnMotion, &QPushButton::clicked, this,
            guarded([this] { BitBtnMotionClick(); }));
    connect(ui->menuMotion, &QAction::triggered, this, guarded([this] { BitBtnMotionClick(); }));
    connect(main.Timer2(), &QTimer::timeout, this, guarded([this] { Timer2Timer(); }));
    delayTimer_.setSingleShot(true);
    connect(&delayTimer_, &QTimer::timeout, this, guarded([this] { StartDelayTick(); }));
    // Queued: the stop's quit follows the request-done handler that records the outcome.
    connect(main.FtpClient(), &TFtpClient::OnRequestDone, this, guarded([this] {
                if (quitPending_) quitFtpWhenReady();
            }),
            Qt::QueuedConnection);
    DigitFilter::install(ui->edDelay);
    DigitFilter::install(ui->edDetectInterval);
}

void MotionController::BitBtnMotionClick() {
    // A click while the start delay runs, or while the stop waits for the FTP client,
    // would start or stop a session inside the one under way.
    if (delaying_ || quitPending_) return;
    auto* video = main_.VideoCap1();
    if (!video->DriverOpen()) {
        showInformation(QStringLiteral("Select video driver first!"), main_.dialogParent());
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
    main_.diskGuard().currentSession = MotionSessionName;
    QDir().mkdir(MotionSessionFolder);

    const int delay = strToInt(ui->edDelay->text());
    if (delay > 0)
        MotionStartDelay(quint32(delay) * 1000u);
    else
        startChecks();
}

void MotionController::MotionStartDelay(quint32 milliseconds) {
    delaying_ = true;
    delayStart_ = desktop().tickCount();
    delayLength_ = milliseconds;
    StartDelayTick();
}

void MotionController::StartDelayTick() {
    if (!delaying_) return;
    const quint32 elapsed = desktop().tickCount() - delayStart_; // wraps like the counter
    if (elapsed >= delayLength_) {
        delaying_ = false;
        startChecks();
        return;
    }
    // One tone a beat; a silent delay simply waits out the rest.
    if (main_.ui()->CheckBoxSound->isChecked()) {
        desktop().tone(ToneHz, ToneMs);
        delayTimer_.start(ToneMs);
    } else {
        delayTimer_.start(int(delayLength_ - elapsed));
    }
}

void MotionController::stopStartDelay() {
    delaying_ = false;
    delayTimer_.stop();
}

void MotionController::startChecks() {
    auto* ui = main_.ui();
    MotionDetectCount = 0;
    ui->lblDetectCount->setText(detectCountText(0));
    ui->ListBox1->clear();
    MotionImageCounter = 0;
    seenReturns_ = main_.cameraReturns();

    // Seconds can be typed beyond what a millisecond timer holds; such a wait is capped.
    const qint64 interval = qint64(strToInt(ui->edDetectInterval->text())) * 1000;
    timer2Enabled_ = true;
    auto* timer = main_.Timer2();
    timer->setInterval(int(std::clamp<qint64>(interval, 0, INT_MAX)));
    // An interval of 0 means a session without checks, not a check on every idle moment.
    if (interval > 0) timer->start();
    main_.updateControls();
    if (ui->rbRemoteSave->isChecked() && !main_.emailOnly()) main_.FtpClient()->ConnectAsync();
}

void MotionController::stopSession() {
    timer2Enabled_ = false;
    main_.Timer2()->stop();
    MotionNotified = false;
    main_.updateControls();
    if (main_.ui()->rbRemoteSave->isChecked()) quitFtpWhenReady();
}

void MotionController::quitFtpWhenReady() {
    auto* ftp = main_.FtpClient();
    // The session's connect or an upload may still be running, and the client refuses a
    // quit meanwhile: the connection would stay open, and the next session's connect would
    // fail on it. The running request is let finish (the client's time-out bounds it, and
    // its end reaches the request-done handler first); the quit follows its end.
    if (!ftp->Ready()) {
        quitPending_ = true;
        return;
    }
    quitPending_ = false;
    if (ftp->Connected()) ftp->Quit();
    ftp->setTag(ftptag::None);
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
    // Without a camera there is nothing to compare; once it is back, its first frame is
    // the new reference, as the light and the view may have changed meanwhile.
    if (main_.cameraLost()) return;
    auto* ui = main_.ui();
    if (seenReturns_ != main_.cameraReturns()) {
        seenReturns_ = main_.cameraReturns();
        detector_.setLastFrameSum(detector_.GetFrameSum(*main_.VideoCap1(), main_.programFolder()));
        return;
    }
    const Comparison c =
        detector_.check(*main_.VideoCap1(), main_.programFolder(),
                        ui->ScrollBarSensitivity->value(), ui->ScrollBarTreshold->value());
    if (c.detection) detectionSteps();
}

void MotionController::detectionSteps() {
    auto* ui = main_.ui();
    if (ui->CheckBoxDetectionSound->isChecked()) desktop().messageBeep();
    // Without room on the disk the detection is counted, and nothing is saved or sent.
    if (!main_.diskGuard().roomToWrite(QStringLiteral("Motion picture not saved"))) {
        countDetection();
        return;
    }
    const int number = nextMotionImageNumber(MotionImageCounter);
    MotionImageFile = MotionSessionFolder + QStringLiteral("/") + motionImageName(number);

    auto* video = main_.VideoCap1();
    const QString frame = main_.programFolder() + TempFrame;
    video->setSingleImageFile(frame);
    try {
        // A frame that was not saved must not leave an earlier one to stand for this one.
        if (!video->GrabFrameLive() || !video->SaveFrameFile())
            throw Exception(QStringLiteral("Motion picture not saved: ") + video->FrameError());
        SaveBitmapAsJpeg(frame, MotionImageFile);
    } catch (const Exception& e) {
        // Shown in the box, and kept with its time for whoever looks later.
        main_.errorLog().addQuietly(QStringLiteral(" :   ") + e.message());
        throw;
    }
    ui->ListBox1->addItem(motionImageName(number));
    MotionRemoteName = motionRemoteName(MotionSessionName, desktop().now().time());

    const QString app = QCoreApplication::applicationName();
    if (!main_.emailOnly()) {
        if (main_.network().notification && !MotionNotified) {
            main_.outbox().send(notificationMail(app, main_.camera(), desktop().now()));
            MotionNotified = true;
        }
        auto* ftp = main_.FtpClient();
        if (ui->rbRemoteSave->isChecked() && ftp->Tag() == ftptag::Succeeded && !ftp->Ready()) {
            // Another window's request is waiting on the one client: it is not interleaved.
            main_.showStatus(QStringLiteral("Remote save of %1 skipped: the FTP connection is busy")
                                 .arg(motionImageName(number)));
        } else if (ui->rbRemoteSave->isChecked() && ftp->Tag() == ftptag::Succeeded) {
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
                main_.report(out.report);
            }
        }
    } else if (ui->rbRemoteSave->isChecked()) {
        main_.outbox().send(
            imageMail(app, main_.camera(), MotionSessionName, MotionRemoteName, MotionImageFile));
    }

    MotionImageCounter = number;
    countDetection();
}

void MotionController::countDetection() {
    ++MotionDetectCount;
    main_.ui()->lblDetectCount->setText(detectCountText(MotionDetectCount));
}

} // namespace ostrel
