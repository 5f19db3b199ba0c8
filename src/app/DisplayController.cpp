#include "app/DisplayController.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/Outbox.h"
#include "capture/DeviceReturn.h"
#include "capture/VideoCapture.h"
#include "net/NetworkSettings.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Exception.h"
#include "platform/Guard.h"
#include "ui_mainf.h"
#include <QLabel>

namespace ostrel {

DisplayController::DisplayController(MainWindowParts& main, QObject* parent)
    : QObject(parent), main_(main), cameraReturn_(new DeviceReturn(*main.VideoCap1(), this)) {
    auto* ui = main.ui();
    auto* video = main.VideoCap1();
    connect(cameraReturn_, &DeviceReturn::returned, this, guarded([this] { cameraReturned(); }));
    // A network camera tells its own picture size and rate only once it has answered.
    connect(video, &TVideoCapture::sourceOpened, this, [this, video] {
        QString text = QStringLiteral("%1: %2 x %3")
                           .arg(video->DriverName())
                           .arg(video->imageWidth())
                           .arg(video->imageHeight());
        if (video->SourceFrameRate() > 0)
            text +=
                QStringLiteral(", %1 frames per second").arg(video->SourceFrameRate(), 0, 'g', 3);
        main_.showStatus(text);
    });
    connect(video, &TVideoCapture::OnStatus, this, guarded([this] { Video1Status(); }));
    connect(video, &TVideoCapture::OnStatusCallback, this,
            guarded([this](int n, const QString& t) { Video1StatusCallback(n, t); }));
    connect(video, &TVideoCapture::OnError, this,
            guarded([this](int n, const QString& t) { VideoCap1Error(n, t); }));

    // Ticking a box (by hand or from code) switches the device, as a click would.
    connect(ui->CheckPrev, &QCheckBox::toggled, this,
            guarded([video](bool on) { video->setVideoPreview(on); }));
    connect(ui->CheckOverl, &QCheckBox::toggled, this,
            guarded([video](bool on) { video->setVideoOverlay(on); }));
    connect(ui->CheckFitWindow, &QCheckBox::toggled, this,
            guarded([video](bool on) { video->setPreviewScaleToWindow(on); }));
    connect(ui->CheckProportional, &QCheckBox::toggled, this,
            guarded([video](bool on) { video->setPreviewScaleProportional(on); }));
    connect(ui->Edit1, &QLineEdit::textChanged, this,
            guarded([this](const QString& t) { Edit1Change(t); }));
    DigitFilter::install(ui->Edit1);

    // Screen readers learn whether the picture is live from the video's description.
    connect(video, &TVideoCapture::frameShown, this, [video] {
        const QImage frame = video->displayedFrame();
        const QString text =
            QStringLiteral("Live picture %1 x %2").arg(frame.width()).arg(frame.height());
        if (video->accessibleDescription() != text) video->setAccessibleDescription(text);
    });
}

void DisplayController::Video1Status() {
    auto* ui = main_.ui();
    auto* video = main_.VideoCap1();
    ui->Edit1->setText(QString::number(video->PreviewRate()));
    ui->CheckPrev->setChecked(video->VideoPreview());
    ui->CheckOverl->setChecked(video->VideoOverlay());
    main_.updateControls();
    ui->CheckFitWindow->setChecked(true);
}

void DisplayController::Video1StatusCallback(int statusNumber, const QString& text) {
    if (statusNumber == CapStatusCurrentFrame) return;
    QString shown = text;
    shown.replace(QStringLiteral("Live window"), QStringLiteral("Preview window"));
    main_.showStatus(shown);
    if (statusNumber == CapStatusCaptureBegins) {
        main_.RecordingCaptions(true);
        main_.updateControls();
    } else if (statusNumber == CapStatusCaptureEnds) {
        main_.RecordingCaptions(false);
        // A recording also ends by itself (time limit, full index, lost camera): the
        // controls it locked are released here, not only by the button.
        main_.updateControls();
        // A copy that fails is reported by the device (OnError), naming the buffer file
        // that keeps the recording.
        if (main_.VideoCap1()->BufferFileSize() != 0) main_.VideoCap1()->SaveRecordingAs();
    }
}

void DisplayController::VideoCap1Error(int, const QString& text) {
    main_.showStatus(text);
    // A network camera that did not open says why after the common text.
    const bool deviceLost = text.startsWith(QLatin1String(DeviceLostText));
    auto* video = main_.VideoCap1();
    const QString name = video->DriverName();
    const DeviceReturn::Loss loss =
        deviceLost ? cameraReturn_->lost() : DeviceReturn::Loss::NotWatched; // closes it
    if (loss == DeviceReturn::Loss::StillAway) return;                       // told when it went
    if (!text.isEmpty()) main_.errorLog().add(QStringLiteral(" :   Video error = ") + text);
    if (!deviceLost) return;
    desktop().messageBeep();
    const bool watched = loss == DeviceReturn::Loss::New;
    video->setAccessibleDescription(watched ? QStringLiteral("No live picture: the camera went "
                                                             "away, waiting for it to come back")
                                            : QStringLiteral("No live picture"));
    // Closing sends no status update of its own; the controls must not show a live
    // picture that is gone.
    Video1Status();
    if (watched) {
        main_.errorLog().addQuietly(QStringLiteral(" :   Camera lost: ") + name +
                                    QStringLiteral(". Waiting for it to come back."));
        if (main_.network().notification)
            main_.outbox().sendNotice(cameraMail(QCoreApplication::applicationName(),
                                                 main_.camera(), name, true, desktop().now()));
    }
    // Nobody may be there to answer while a session or the website update runs: the
    // status bar and the log tell, and the work goes on when the camera is back.
    if (main_.Timer1()->isActive() || main_.Timer2()->isActive()) return;
    showWarning(text == QLatin1String(DeviceLostText)
                    ? QStringLiteral("Capture device was not detected. Connect camera before "
                                     "running this program.")
                    : text,
                main_.dialogParent());
}

void DisplayController::cameraReturned() {
    ++returns_;
    const QString name = main_.VideoCap1()->DriverName();
    Video1Status();
    main_.showStatus(QStringLiteral("Camera back: ") + name);
    main_.errorLog().addQuietly(QStringLiteral(" :   Camera back: ") + name);
    if (main_.network().notification)
        main_.outbox().sendNotice(cameraMail(QCoreApplication::applicationName(), main_.camera(),
                                             name, false, desktop().now()));
}

bool DisplayController::lostCameraHasSourceDialog() const {
    return cameraLost() && main_.VideoCap1()->HasSourceDialogOf(cameraReturn_->lastIndex());
}

void DisplayController::showLostCameraSource() {
    if (main_.VideoCap1()->ShowSourceDialogOf(cameraReturn_->lastIndex()))
        cameraReturn_->retryNow();
}

bool DisplayController::cameraLost() const {
    return cameraReturn_->waiting();
}

int DisplayController::driverIndexToKeep() const {
    return cameraReturn_->waiting() ? cameraReturn_->lastIndex() : main_.VideoCap1()->DriverIndex();
}

void DisplayController::Edit1Change(const QString& text) {
    auto* ui = main_.ui();
    if (text.isEmpty()) {
        ui->Edit1->setText(QStringLiteral("15")); // runs this handler again
        return;
    }
    const int rate = strToInt(text);
    main_.VideoCap1()->setPreviewRate(rate >= 1 && rate <= 30 ? rate : 15);
}

} // namespace ostrel
