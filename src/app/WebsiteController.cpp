#include "app/WebsiteController.h"
#include "app/DiskGuard.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/Outbox.h"
#include "capture/VideoCapture.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "app/RequestReport.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Exception.h"
#include "platform/Guard.h"
#include "ui_mainf.h"
#include "web/FrameExport.h"
#include "web/WebsiteUpdate.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>

namespace ostrel {

WebsiteController::WebsiteController(MainWindowParts& main, QObject* parent)
    : QObject(parent), main_(main) {
    auto* ui = main.ui();
    connect(ui->BitBtnFrameCap, &QPushButton::clicked, this,
            guarded([this] { BitBtnFrameCapClick(); }));
    connect(ui->menuPeriodicUpdate, &QAction::triggered, this,
            guarded([this] { BitBtnFrameCapClick(); }));
    connect(main.Timer1(), &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    DigitFilter::install(ui->EditInterval);
    setBusyLight(false);
}

void WebsiteController::BitBtnFrameCapClick() {
    if (running())
        Stop();
    else
        Start();
}

void WebsiteController::setBusyLight(bool busy) {
    auto* light = main_.ui()->lblColor;
    QPalette p = light->palette();
    p.setColor(QPalette::Window,
               busy ? QColor(Qt::red) : QApplication::palette().color(QPalette::Button));
    light->setPalette(p);
    light->setAccessibleDescription(busy ? QStringLiteral("Busy") : QString());
}

void WebsiteController::setStartedLook(bool started) {
    started_ = started;
    hasRun_ = hasRun_ || started;
    main_.updateControls();
}

void WebsiteController::exportFrame(bool atStart) {
    auto& log = main_.errorLog();
    const auto frameNotSaved = [&](const FrameSaveFailure& failure) {
        // A full disk must not trade the cause for the log's own failure.
        if (failure.writeLogNow)
            log.addQuietly(failure.logEntry);
        else
            log.add(failure.logEntry, false);
        main_.showStatus(failure.statusText);
    };
    ExportResult result;
    try {
        result = exportFrameAndStamp(*main_.VideoCap1(), main_.programFolder(),
                                     atStart ? ExportKind::Start : ExportKind::Tick, main_.camera(),
                                     Image1, frameNotSaved);
    } catch (const Exception& e) {
        // A JPEG or stamp that could not be written: the cause is kept with its time, and
        // the box follows as for any handler's error.
        log.addQuietly(QStringLiteral(" :   ") + e.message());
        main_.showStatus(QStringLiteral("ERROR: ") + e.message());
        throw;
    }
    if (result.frameSaved) {
        CaptureBitmapPath = result.bitmapPath;
        CaptureJpegPath = result.jpegPath;
    }
}

void WebsiteController::Start() {
    auto* ui = main_.ui();
    setStartedLook(true);
    setBusyLight(true);
    disabledByFailures_ = false;
    if (roomForPictures()) {
        exportFrame(true);
        oneUpload();
    }
    setBusyLight(false);
    const UpdateInterval interval = updateIntervalFromField(ui->EditInterval->text());
    if (ui->EditInterval->text() != interval.fieldText)
        ui->EditInterval->setText(interval.fieldText);
    UpdateIntervalMs = interval.milliseconds;
    // The failure count survives Stop and Start, so this start's own upload may have been
    // the failure that disabled the update: it stays off, as the window now says.
    if (disabledByFailures_) {
        main_.Timer1()->setInterval(UpdateIntervalMs);
        return;
    }
    // FTPerror may have set the suspension interval; Start always begins at its own.
    main_.Timer1()->start(UpdateIntervalMs);
}

void WebsiteController::Timer1Timer() {
    // Another window's request is waiting on the one FTP client: this tick is left out
    // rather than interleaved with it.
    if (!main_.FtpClient()->Ready()) {
        main_.showStatus(QStringLiteral("Website update skipped: the FTP connection is busy"));
        return;
    }
    // The page keeps the last picture with its own time rather than that picture again
    // under a new one; the update goes on when the camera is back.
    if (main_.cameraLost()) {
        main_.showStatus(QStringLiteral("Website update skipped: the camera is away"));
        return;
    }
    if (!roomForPictures()) return;
    exportFrame(false);
    oneUpload();
    setBusyLight(false);
}

bool WebsiteController::roomForPictures() {
    return main_.diskGuard().roomToWrite(QStringLiteral("Website pictures not saved or uploaded"));
}

void WebsiteController::connectIfNeeded() {
    QDir::setCurrent(main_.programFolder());
    auto* ftp = main_.FtpClient();
    if (!ftp->Connected()) ftp->Connect();
}

bool WebsiteController::put(const QString& remote, const QString& local) {
    auto* ftp = main_.FtpClient();
    if (ftp->Tag() != ftptag::Succeeded) return false;
    ftp->setHostFileName(remote);
    ftp->setLocalFileName(main_.programFolder() + local);
    return ftp->Put();
}

void WebsiteController::oneUpload() {
    setBusyLight(true);
    connectIfNeeded();
    auto* ftp = main_.FtpClient();
    if (ftp->Tag() == ftptag::Failed) {
        ftp->setTag(ftptag::Suspended);
        FTPerror();
    }
    put(RemoteCaptureName, CaptureJpegName);
    put(RemoteStampName, StampBitmapName);
    if (ftp->Connected()) ftp->Quit();
}

void WebsiteController::Stop() {
    main_.Timer1()->stop();
    setStartedLook(false);
    setBusyLight(false);
    connectIfNeeded();
    auto* ftp = main_.FtpClient();
    if (ftp->Tag() == ftptag::Failed) return;
    put(RemoteCaptureName, StopCaptureName);
    put(RemoteStampName, StopStampName);
    if (ftp->Connected()) ftp->Quit();
}

bool WebsiteController::StopForClose() {
    main_.Timer1()->stop();
    started_ = false;
    const QString folder = main_.programFolder();
    QDir::setCurrent(folder);
    for (const auto& [from, to] :
         {std::pair{StopCaptureName, CaptureJpegName}, std::pair{StopStampName, StampBitmapName}}) {
        QFile::remove(folder + to);
        QFile::copy(folder + from, folder + to);
    }
    connectIfNeeded();
    auto* ftp = main_.FtpClient();
    if (ftp->Tag() == ftptag::Failed) return false;
    put(RemoteCaptureName, StopCaptureName);
    put(RemoteStampName, StopStampName);
    if (ftp->Connected()) ftp->Quit();
    main_.updateControls();
    return true;
}

void WebsiteController::FTPerror() {
    auto* timer = main_.Timer1();
    timer->stop();
    setBusyLight(false);
    timer->start(SuspensionInterval);
    ++FailureCount;
    if (logsSuspension(FailureCount)) main_.errorLog().add(SuspendedLogEntry);
    if (!main_.disableOnFail() || FailureCount < DisableThreshold) return;

    if (main_.network().failNotification && !main_.network().destinationAddress.isEmpty())
        main_.outbox().send(websiteDisabledMail(QCoreApplication::applicationName(), main_.camera(),
                                                desktop().now()));
    main_.errorLog().add(DisabledLogEntry);
    showWarning(DisabledWarning, main_.dialogParent());
    setStartedLook(false);
    setBusyLight(false);
    auto* ftp = main_.FtpClient();
    ftp->Abort();
    if (ftp->Connected()) ftp->Quit();
    timer->stop();
    ftp->setTag(ftptag::None);
    FailureCount = 0;
    disabledByFailures_ = true;
    timer->setInterval(UpdateIntervalMs);
}

void WebsiteController::Reestablish() {
    FailureCount = 0;
    auto* timer = main_.Timer1();
    if (timer->isActive()) timer->start(UpdateIntervalMs);
    main_.errorLog().add(ReestablishedLogEntry);
}

} // namespace ostrel
