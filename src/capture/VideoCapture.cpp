#include "capture/VideoCapture.h"

#include "capture/CaptureSession.h"
#include "capture/DlgCompression.h"
#include "capture/DriverDialogs.h"
#include "capture/Recorder.h"
#include "picture/Bitmap.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel {

ENoDriverException::ENoDriverException()
    : Exception(QStringLiteral("No capture driver selected")) {}
ENotConnectException::ENotConnectException()
    : Exception(QStringLiteral("Can not connect capture driver with capture window")) {}
ENoOverlayException::ENoOverlayException()
    : Exception(QStringLiteral("Driver has no overlay mode")) {}
EBufferFileError::EBufferFileError() : Exception(QStringLiteral("Could not create tmp file")) {}

namespace {

using namespace std::chrono_literals;

// How long after a device opens a grab may wait for its first frame. Only that once: a
// device silent past it fails a grab at once, so it never stalls the window grab after grab.
constexpr auto FirstFrameTimeout = 2000ms;
constexpr quint32 MinMicroSecPerFrame = 33333;

// Rounding to the nearest integer with halves going to the even neighbour, as every
// rounded value of this component is computed.
double roundEven(double value) {
    return std::nearbyint(value);
}

quint16 toQuint16(int value) {
    return quint16(std::clamp(value, 0, 0xFFFF));
}

// Start-up timing: with OSTREL_FIRST_FRAME_NOTICE set, the first live frame of the run
// is announced on standard error, so a measurement outside the program sees it.
void announceFirstFrame() {
    static bool announced = false;
    if (announced) return;
    announced = true;
    if (qEnvironmentVariableIsEmpty("OSTREL_FIRST_FRAME_NOTICE")) return;
    std::fputs("ostrel: first live frame shown\n", stderr);
    std::fflush(stderr);
}

} // namespace

TVideoCapture::TVideoCapture(std::shared_ptr<DriverRegistry> drivers, QString programFolder,
                             QWidget* parent)
    : QWidget(parent), drivers_(std::move(drivers)), programFolder_(std::move(programFolder)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Live video"));
}

TVideoCapture::~TVideoCapture() {
    // No events now: their handlers belong to a window that is going away. A recording
    // ended here is copied out of the buffer file here too.
    const bool wasRecording = recorder_ != nullptr;
    finishRecording(false);
    if (wasRecording && !bufferFile_.isEmpty() && recordedBytes_ > 0) {
        QString why;
        if (copyBufferToVideoFile(&why)) {
            recordedBytes_ = 0;
        } else {
            qWarning("%s", qUtf8Printable(why));
            bufferFile_.keep(); // the recording stays where it is
        }
    }
    closeWindow();
}

// ---- open and close ----------------------------------------------------------------------

bool TVideoCapture::DriverOpen() const {
    return session_ != nullptr;
}

void TVideoCapture::setDriverOpen(bool open) {
    if (open)
        openWindow();
    else
        closeWindow();
}

void TVideoCapture::openWindow() {
    if (session_) return;
    if (driverIndex_ == -1) {
        statusUpdate(true);
        throw ENoDriverException();
    }
    if (!connectSession()) {
        statusUpdate(true);
        throw ENotConnectException();
    }
    // A buffer file that cannot be had does not stop the live picture: the device is
    // set up completely and the error raised afterwards.
    bool bufferFileOk = true;
    try {
        bufferFile_.reserve(bufferFileSize_);
    } catch (const EBufferFileError&) {
        bufferFileOk = false;
    }
    statusUpdate(true);
    resizeCaptureWindow();
    if (!bufferFileOk) throw EBufferFileError();
}

void TVideoCapture::closeWindow() {
    if (!session_) return;
    finishRecording(true);
    stopSession();
    clearWindow();
}

void TVideoCapture::clearWindow() {
    bufferFile_.reserve(0); // releasing allocates nothing and cannot fail
    previewFlag_ = false;
    overlayFlag_ = false;
    captureWindow_ = QRect();
    setDisplayed({});
    lastGrabbed_ = QImage();
    update();
}

bool TVideoCapture::connectSession() {
    const std::shared_ptr<CaptureDriver> driver = driverAt(driverIndex_);
    if (!driver) return false;
    QString why;
    std::unique_ptr<CaptureSession> session = CaptureSession::open(driver->source(), &why);
    if (!session) {
        qWarning("Capture driver %d (%s) did not connect: %s", driverIndex_,
                 qUtf8Printable(driverName_), qUtf8Printable(why));
        return false;
    }

    // The callbacks run on the capture thread; they only post to this widget. Events of
    // a session closed in the meantime carry an old generation and are dropped.
    const quint64 generation = ++generation_;
    CaptureSession::Callbacks callbacks;
    callbacks.frame = [this, generation](const QImage& frame, const QImage& display) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, frame, display] { onSessionFrame(generation, frame, display); },
            Qt::QueuedConnection);
    };
    callbacks.error = [this, generation](int errorNumber, const QString& text) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, errorNumber, text] {
                onSessionError(generation, errorNumber, text);
            },
            Qt::QueuedConnection);
    };
    callbacks.opened = [this, generation](QSize, double rate) {
        QMetaObject::invokeMethod(
            this, [this, generation, rate] { onSessionOpened(generation, rate); },
            Qt::QueuedConnection);
    };
    session->setPreviewRate(previewRate_);
    session->setDelivering(previewFlag_ || overlayFlag_);
    session->setRecorder(recorder_);
    session->setDisplaySize(captureWindow_.size());
    session->start(std::move(callbacks));
    opening_ = session->spec().openInBackground;
    firstFrameDeadline_ = std::chrono::steady_clock::now() + FirstFrameTimeout;
    session_ = std::move(session);
    return true;
}

void TVideoCapture::stopSession() {
    ++generation_;
    opening_ = false;
    session_.reset(); // joins the capture thread
}

void TVideoCapture::reconnectSession() {
    if (!session_) return;
    stopSession();
    if (!connectSession()) {
        clearWindow(); // the device is closed now, as after a failed open
        statusUpdate(true);
        throw ENotConnectException();
    }
}

void TVideoCapture::setDisplayed(const QImage& frame, const QImage& display) {
    displayed_ = frame;
    painted_ = display;
}

void TVideoCapture::onSessionFrame(quint64 generation, const QImage& frame, const QImage& display) {
    if (generation != generation_ || !session_) return;
    session_->frameTaken();
    if (!previewFlag_ && !overlayFlag_) return;
    if (frame.width() != imageWidth_ || frame.height() != imageHeight_) {
        statusUpdate(false);
        resizeCaptureWindow();
    }
    setDisplayed(frame, display);
    update(captureWindow_);
    announceFirstFrame();
    emit frameShown();
}

bool TVideoCapture::Opening() const {
    return session_ && opening_;
}

void TVideoCapture::onSessionOpened(quint64 generation, double framesPerSecond) {
    if (generation != generation_ || !session_) return;
    opening_ = false;
    firstFrameDeadline_ = std::chrono::steady_clock::now() + FirstFrameTimeout;
    sourceFrameRate_ = framesPerSecond;
    statusUpdate(true);
    resizeCaptureWindow();
    emit sourceOpened();
}

void TVideoCapture::onSessionError(quint64 generation, int errorNumber, const QString& text) {
    if (generation != generation_ || !session_) return;
    opening_ = false;
    // The frames have stopped: the recording ends with what it has, playable.
    finishRecording(true);
    emit OnError(errorNumber, text);
}

void TVideoCapture::updateDelivery() {
    if (session_) session_->setDelivering(previewFlag_ || overlayFlag_);
}

// ---- driver index and name ---------------------------------------------------------------

void TVideoCapture::setDriverIndex(int index) {
    if (index == driverIndex_) return;
    closeWindow();
    dropCaches();
    if (index >= 0) {
        const std::shared_ptr<CaptureDriver> driver = driverAt(index);
        if (driver) {
            driverName_ = driver->description().name;
            // Kept from the choice: a device that has gone is no longer in the registry.
            deviceKey_ = driver->deviceKey();
            deviceFolder_ = driver->deviceFolder();
        } else {
            index = -1;
        }
    }
    if (index < 0) {
        index = -1;
        driverName_.clear();
        deviceKey_.clear();
        deviceFolder_.clear();
    }
    driverIndex_ = index;
}

void TVideoCapture::setDriverName(const QString& name) {
    if (name == driverName_) return;
    for (int i = 0; i < DriverRegistry::MaxDrivers; ++i) {
        const std::shared_ptr<CaptureDriver> driver = drivers_->driver(i);
        if (driver && driver->description().name == name) {
            setDriverIndex(i);
            return;
        }
    }
    setDriverIndex(-1);
    driverName_.clear();
}

QStringList TVideoCapture::ListDrivers() {
    QStringList list;
    for (int i = 0; i < DriverRegistry::MaxDrivers; ++i) {
        const std::shared_ptr<CaptureDriver> driver = drivers_->driver(i);
        if (!driver) break;
        const DriverDescription d = driver->description();
        list << d.name + QLatin1Char(' ') + d.version;
    }
    return list;
}

int TVideoCapture::driverIndexOfDevice(const QString& key) {
    if (key.isEmpty()) return -1;
    for (int i = 0; i < DriverRegistry::MaxDrivers; ++i) {
        const std::shared_ptr<CaptureDriver> driver = drivers_->driver(i);
        if (driver && driver->deviceKey() == key) return i;
    }
    return -1;
}

std::shared_ptr<CaptureDriver> TVideoCapture::driverAt(int index) const {
    return index >= 0 && index < DriverRegistry::MaxDrivers ? drivers_->driver(index) : nullptr;
}

QString TVideoCapture::deviceKeyOf(int index) {
    const auto driver = driverAt(index);
    return driver ? driver->deviceKey() : QString();
}

bool TVideoCapture::HasSourceDialogOf(int index) {
    const auto driver = driverAt(index);
    return driver && driver->caps().hasSourceDialog;
}

bool TVideoCapture::ShowSourceDialogOf(int index) {
    const auto driver = driverAt(index);
    return driver && driver->caps().hasSourceDialog && driver->showSourceDialog(this);
}

void TVideoCapture::dropCaches() {
    haveCaps_ = false;
    caps_ = DriverCaps{};
    previewOn_ = false;
    overlayOn_ = false;
    imageWidth_ = 0;
    imageHeight_ = 0;
}

// ---- status and capabilities -------------------------------------------------------------

void TVideoCapture::statusUpdate(bool notify) {
    if (session_) {
        const QSize size = session_->frameSize();
        imageWidth_ = toQuint16(size.width());
        imageHeight_ = toQuint16(size.height());
        previewOn_ = previewFlag_;
        overlayOn_ = overlayFlag_;
    }
    if (notify) emit OnStatus();
}

bool TVideoCapture::queryCaps() {
    if (haveCaps_) return true;
    const std::shared_ptr<CaptureDriver> driver = driverAt(driverIndex_);
    if (!driver) return false;
    if (!session_) {
        // Answer only for a driver that connects. The connection is tried without the
        // status events of a full open, whose handlers ask for the capabilities again.
        QString ignored;
        if (!CaptureSession::open(driver->source(), &ignored)) return false;
    }
    caps_ = driver->caps();
    haveCaps_ = true;
    return true;
}

bool TVideoCapture::HasOverlay() {
    return queryCaps() && caps_.hasOverlay;
}
bool TVideoCapture::HasFormatDialog() {
    return queryCaps() && caps_.hasFormatDialog;
}
bool TVideoCapture::HasDisplayDialog() {
    return queryCaps() && caps_.hasDisplayDialog;
}
bool TVideoCapture::HasSourceDialog() {
    return queryCaps() && caps_.hasSourceDialog;
}

// ---- live display ------------------------------------------------------------------------

bool TVideoCapture::VideoPreview() const {
    return session_ && previewOn_;
}
bool TVideoCapture::VideoOverlay() const {
    return session_ && overlayOn_;
}

void TVideoCapture::setVideoPreview(bool on) {
    if (on == VideoPreview()) return;
    if (on && !session_) setDriverOpen(true);
    if (!session_) return; // a status handler closed the device again
    previewFlag_ = on;
    if (on) {
        overlayFlag_ = false; // the display shows one or the other
        const QImage latest = session_->latestFrame();
        if (!latest.isNull()) setDisplayed(latest);
    }
    updateDelivery();
    statusUpdate(true);
    update();
}

void TVideoCapture::setVideoOverlay(bool on) {
    if (on == VideoOverlay()) return;
    if (!HasOverlay()) throw ENoOverlayException();
    if (on) {
        if (!session_) setDriverOpen(true);
        GrabFrameStill();
    }
    if (!session_) return;
    overlayFlag_ = on;
    if (on) previewFlag_ = false;
    updateDelivery();
    statusUpdate(true);
    update();
}

void TVideoCapture::setPreviewScaleToWindow(bool on) {
    if (on == scaleToWindow_) return;
    scaleToWindow_ = on;
    resizeCaptureWindow();
}

void TVideoCapture::setPreviewScaleProportional(bool on) {
    if (on == scaleProportional_) return;
    scaleProportional_ = on;
    resizeCaptureWindow();
}

void TVideoCapture::setPreviewRate(int rate) {
    previewRate_ = quint16(std::clamp(rate, 1, 30));
    if (session_) session_->setPreviewRate(previewRate_);
}

// ---- recording parameters ----------------------------------------------------------------

void TVideoCapture::setMicroSecPerFrame(quint32 us) {
    microSecPerFrame_ = std::max(us, MinMicroSecPerFrame);
}

quint16 TVideoCapture::FrameRate() const {
    if (microSecPerFrame_ == 0) return 0;
    return quint16(std::min(roundEven(1e6 / microSecPerFrame_), 65535.0));
}

void TVideoCapture::setFrameRate(quint16 fps) {
    // Deliberately below the setter's floor: 60 frames per second gives 16667.
    if (fps != 0) microSecPerFrame_ = quint32(roundEven(1e6 / fps));
}

void TVideoCapture::setCapIndexSize(quint32 n) {
    capIndexSize_ = n == 0 ? 0 : std::clamp(n, Recorder::MinIndexSize, Recorder::MaxIndexSize);
}

void TVideoCapture::setBufferFileSize(quint16 mb) {
    if (mb == bufferFileSize_) return;
    bufferFileSize_ = mb;
    // A running recording keeps its file; the new size applies from the next opening.
    if (session_ && !recorder_) bufferFile_.reserve(mb);
}

// ---- frames ------------------------------------------------------------------------------

QImage TVideoCapture::currentFrame() const {
    // A source still opening in the background has no frame to give yet.
    if (!session_ || opening_) return {};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        firstFrameDeadline_ - std::chrono::steady_clock::now());
    return session_->waitForFrame(std::max(left, 0ms));
}

bool TVideoCapture::GrabFrameLive() {
    frameError_ = QStringLiteral("No picture came from the capture device");
    const QImage frame = currentFrame();
    if (frame.isNull()) return false;
    frameError_.clear();
    lastGrabbed_ = frame;
    statusUpdate(true);
    return true;
}

bool TVideoCapture::GrabFrameStill() {
    const QImage frame = currentFrame();
    if (frame.isNull()) return false;
    lastGrabbed_ = frame;
    // The grab ends the live display; the grabbed picture stays on screen until preview
    // is switched on again.
    previewFlag_ = false;
    overlayFlag_ = false;
    updateDelivery();
    setDisplayed(frame);
    update();
    statusUpdate(true);
    return true;
}

bool TVideoCapture::SaveFrameFile(bitmap::Durability durability) {
    if (!session_ || lastGrabbed_.isNull()) {
        frameError_ = QStringLiteral("No picture came from the capture device");
        return false;
    }
    try {
        bitmap::save(resolveIn(programFolder_, singleImageFile_), lastGrabbed_, durability);
        frameError_.clear();
        return true;
    } catch (const EBitmapError& e) {
        frameError_ = e.message();
        return false;
    }
}

QImage TVideoCapture::lastGrabbedFrame() const {
    return lastGrabbed_;
}
QImage TVideoCapture::displayedFrame() const {
    return displayed_;
}

// ---- recording ---------------------------------------------------------------------------

bool TVideoCapture::StartRecording() {
    if (!session_) return false;
    if (recorder_) {
        if (!recorder_->ended()) return false;
        finishRecording(true); // ended by itself; its end is reported first
    }
    RecordingSettings settings;
    settings.file =
        bufferFile_.isEmpty() ? resolveIn(programFolder_, videoFileName_) : bufferFile_.path();
    settings.keepAllocation = !bufferFile_.isEmpty();
    settings.microSecPerFrame = microSecPerFrame_;
    settings.timeLimit = capTimeLimit_;
    settings.audio = capAudio_;
    settings.indexSize =
        Recorder::indexSizeFor(FrameRate(), capTimeLimit_, capAudio_, capIndexSize_);
    settings.quality = CompressionQuality();

    // The callbacks run on the recording's thread; they only post to this widget.
    const quint64 number = ++recordingNumber_;
    Recorder::Callbacks callbacks;
    callbacks.ended = [this, number] {
        QMetaObject::invokeMethod(
            this,
            [this, number] {
                if (number == recordingNumber_) finishRecording(true);
            },
            Qt::QueuedConnection);
    };
    callbacks.warning = [this, number](const QString& text) {
        QMetaObject::invokeMethod(
            this,
            [this, number, text] {
                if (number == recordingNumber_ && recorder_) emit OnError(ENODEV, text);
            },
            Qt::QueuedConnection);
    };
    QString why;
    std::unique_ptr<Recorder> recorder =
        Recorder::start(settings, session_->frameSize(), std::move(callbacks), &why);
    if (!recorder) {
        emit OnError(EIO, why);
        statusUpdate(true);
        return false;
    }
    recorder_ = std::move(recorder);
    recordedBytes_ = 0;
    session_->setRecorder(recorder_);
    emit OnStatusCallback(
        CapStatusCaptureBegins,
        QStringLiteral("Recording video to %1").arg(QFileInfo(videoFileName_).fileName()));
    statusUpdate(true);
    return true;
}

void TVideoCapture::finishRecording(bool notify) {
    const std::shared_ptr<Recorder> recorder = std::move(recorder_);
    recorder_.reset();
    if (!recorder) return;
    if (session_) session_->setRecorder(nullptr);
    const RecordingResult result = recorder->stop();
    recordedBytes_ = result.bytes;
    if (!notify) return;
    if (!result.error.isEmpty()) emit OnError(EIO, result.error);
    const double seconds = double(result.frames) * microSecPerFrame_ / 1e6;
    QString ended = QStringLiteral("Recording ended: %1 frames recorded, %2 dropped, %3 s")
                        .arg(result.frames)
                        .arg(result.dropped)
                        .arg(seconds, 0, 'f', 1);
    // The status bar shows this last: a failed recording's cause stays in view.
    if (!result.error.isEmpty()) ended += QStringLiteral(". ") + result.error;
    emit OnStatusCallback(CapStatusCaptureEnds, ended);
}

bool TVideoCapture::StopRecording() {
    if (!session_) return false;
    finishRecording(true);
    statusUpdate(true);
    return true;
}

bool TVideoCapture::IsRecording() {
    if (!session_) return false;
    statusUpdate(false);
    return recorder_ && !recorder_->ended();
}

bool TVideoCapture::copyBufferToVideoFile(QString* error) const {
    return bufferFile_.copyTo(resolveIn(programFolder_, videoFileName_), recordedBytes_, error);
}

bool TVideoCapture::SaveRecordingAs() {
    if (bufferFile_.isEmpty()) return recordedBytes_ > 0; // the recording is the video file
    if (recorder_ || recordedBytes_ <= 0) return false;
    QString why;
    if (copyBufferToVideoFile(&why)) return true;
    // The buffer file now holds the only copy: it is neither deleted nor written again.
    bufferFile_.keep();
    recordedBytes_ = 0;
    emit OnError(EIO, why);
    try {
        if (session_) bufferFile_.reserve(bufferFileSize_);
    } catch (const EBufferFileError&) {
        // The next recording goes straight into the video file.
    }
    return false;
}

// ---- driver dialogs ----------------------------------------------------------------------

bool TVideoCapture::runDriverDialog(bool (CaptureDriver::*show)(QWidget*), bool refresh) {
    if (driverIndex_ == -1) return false;
    const std::shared_ptr<CaptureDriver> driver = drivers_->driver(driverIndex_);
    if (!driver) return false;
    const bool wasClosed = !session_;
    if (wasClosed) setDriverOpen(true);
    const auto closeAgain = qScopeGuard([&] {
        if (wasClosed) closeWindow();
    });
    if (!((*driver).*show)(this)) return false;
    // The driver's source (size, rate, input, file) may have changed: connect it afresh.
    // A change the device takes while running (a control) needs no new connection.
    if (!session_ || !(driver->source() == session_->spec())) reconnectSession();
    if (refresh) {
        statusUpdate(true);
        resizeCaptureWindow();
        update();
    }
    return true;
}

bool TVideoCapture::ShowFormatDialog() {
    return runDriverDialog(&CaptureDriver::showFormatDialog, true);
}

bool TVideoCapture::ShowSourceDialog() {
    return runDriverDialog(&CaptureDriver::showSourceDialog, true);
}

bool TVideoCapture::ShowDisplayDialog() {
    return runDriverDialog(&CaptureDriver::showDisplayDialog, true);
}

// The recording quality is the same for every driver; the recorder reads it from here.
bool TVideoCapture::ShowCompressionDialog() {
    if (driverIndex_ == -1 || !drivers_->driver(driverIndex_)) return false;
    const bool wasClosed = !session_;
    if (wasClosed) setDriverOpen(true);
    const auto closeAgain = qScopeGuard([&] {
        if (wasClosed) closeWindow();
    });
    TDlgVideoCompression dialog(CompressionQuality(), this);
    if (execDriverDialog(dialog) != QDialog::Accepted) return false;
    writeCompressionQuality(programFolder_, dialog.quality());
    update();
    return true;
}

int TVideoCapture::CompressionQuality() const {
    return readCompressionQuality(programFolder_);
}

// ---- geometry and painting ---------------------------------------------------------------

QRect TVideoCapture::scaledWindow(bool scaleToWindow, bool proportional, QSize widget,
                                  QSize picture) {
    const QSize area(std::max(widget.width(), 0), std::max(widget.height(), 0));
    if (!scaleToWindow) return QRect(QPoint(0, 0), picture);
    // An unknown picture size (0 by 0) has no ratio to keep: fill the widget.
    if (!proportional || picture.isEmpty() || area.isEmpty()) return QRect(QPoint(0, 0), area);
    const float widgetRatio = float(area.width()) / float(area.height());
    const float pictureRatio = float(picture.width()) / float(picture.height());
    if (widgetRatio > pictureRatio)
        return QRect(0, 0, int(roundEven(double(area.height()) * double(pictureRatio))),
                     area.height());
    return QRect(0, 0, area.width(), int(roundEven(double(area.width()) / double(pictureRatio))));
}

QRect TVideoCapture::captureWindowGeometry() const {
    return captureWindow_;
}

void TVideoCapture::resizeCaptureWindow() {
    const QRect before = captureWindow_;
    captureWindow_ = session_ ? scaledWindow(scaleToWindow_, scaleProportional_, size(),
                                             QSize(imageWidth_, imageHeight_))
                              : QRect();
    if (session_) session_->setDisplaySize(captureWindow_.size());
    if (captureWindow_ != before) update();
}

void TVideoCapture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (scaleToWindow_) resizeCaptureWindow();
}

void TVideoCapture::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!session_ || captureWindow_.isEmpty()) return;
    if (painted_.size() == captureWindow_.size())
        painter.drawImage(captureWindow_.topLeft(), painted_);
    else if (!displayed_.isNull())
        painter.drawImage(captureWindow_, displayed_);
}

} // namespace ostrel
