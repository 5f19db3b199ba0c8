#pragma once
// The capture device: a child widget that connects one capture driver, shows its live
// picture (scaled or not), grabs single frames to bitmap files and reports status and
// errors. Frames are decoded and converted to 24-bit BGR on a capture thread; every
// event reaches the program on the user-interface thread.
#include "capture/BufferFile.h"
#include "capture/CaptureDriver.h"
#include "picture/Bitmap.h"
#include "platform/Exception.h"
#include <QImage>
#include <QWidget>
#include <chrono>
#include <memory>

namespace ostrel {

class ENoDriverException : public Exception { // "No capture driver selected"
public:
    ENoDriverException();
};
class ENotConnectException
    : public Exception { // "Can not connect capture driver with capture window"
public:
    ENotConnectException();
};
class ENoOverlayException : public Exception { // "Driver has no overlay mode"
public:
    ENoOverlayException();
};
class EBufferFileError : public Exception { // "Could not create tmp file"
public:
    EBufferFileError();
};

// Status numbers of OnStatusCallback.
constexpr int CapStatusCaptureBegins = 300;
constexpr int CapStatusCaptureEnds = 301;
constexpr int CapStatusCurrentFrame = 510;
// The error text of a device that disappeared while open.
inline const char* const DeviceLostText = "Capture device was not detected.";

class CaptureSession; // the FFmpeg pipeline and its thread
class Recorder;       // an AVI recording and its thread

class TVideoCapture : public QWidget {
    Q_OBJECT
public:
    TVideoCapture(std::shared_ptr<DriverRegistry> drivers, QString programFolder,
                  QWidget* parent = nullptr);
    ~TVideoCapture() override;

    // Open: creates the display and connects driver DriverIndex; raises on failure.
    bool DriverOpen() const;
    void setDriverOpen(bool open);

    int DriverIndex() const { return driverIndex_; }
    void setDriverIndex(int index);
    QString DriverName() const { return driverName_; }
    void setDriverName(const QString& name);

    bool VideoOverlay() const;
    void setVideoOverlay(bool on);
    bool VideoPreview() const;
    void setVideoPreview(bool on);
    bool PreviewScaleToWindow() const { return scaleToWindow_; }
    void setPreviewScaleToWindow(bool on);
    bool PreviewScaleProportional() const { return scaleProportional_; }
    void setPreviewScaleProportional(bool on);

    quint16 PreviewRate() const { return previewRate_; }
    void setPreviewRate(int rate); // limited to 1..30
    quint32 MicroSecPerFrame() const { return microSecPerFrame_; }
    void setMicroSecPerFrame(quint32 us); // at least 33333
    quint16 FrameRate() const;
    void setFrameRate(quint16 fps); // 0 leaves the frame time unchanged
    bool CapAudio() const { return capAudio_; }
    void setCapAudio(bool on) { capAudio_ = on; }
    QString VideoFileName() const { return videoFileName_; }
    void setVideoFileName(const QString& name) { videoFileName_ = name; }
    QString SingleImageFile() const { return singleImageFile_; }
    void setSingleImageFile(const QString& name) { singleImageFile_ = name; }
    quint16 CapTimeLimit() const { return capTimeLimit_; }
    void setCapTimeLimit(quint16 s) { capTimeLimit_ = s; }
    quint32 CapIndexSize() const { return capIndexSize_; }
    void setCapIndexSize(quint32 n); // 0 stays 0, else limited to 1800..324000
    quint16 BufferFileSize() const { return bufferFileSize_; }
    void setBufferFileSize(quint16 mb);

    // Grab one frame (keeping or stopping the live display); false when closed or no frame.
    bool GrabFrameLive();
    bool GrabFrameStill();
    // Writes the last grabbed frame as a 24-bit bitmap to SingleImageFile.
    bool SaveFrameFile(bitmap::Durability durability = bitmap::Durability::Synced);
    // Why the last grab or SaveFrameFile failed, in the system's words ("No space left on
    // device"); empty after a success.
    QString FrameError() const { return frameError_; }
    // Records the live frames into the capture file (VideoFileName, or the buffer file)
    // with the recording parameters above; status 300 when it begins, 301 when it ends,
    // also by itself (time limit, full index, lost camera, failed write).
    bool StartRecording();
    bool StopRecording();
    bool IsRecording();
    // Copies the buffer file's recording to VideoFileName. On failure the recording stays
    // in the buffer file, which is then no longer used or deleted; OnError says where.
    bool SaveRecordingAs();

    bool HasOverlay();
    bool HasFormatDialog();
    bool HasDisplayDialog();
    bool HasSourceDialog();
    bool ShowFormatDialog();
    bool ShowSourceDialog();
    bool ShowDisplayDialog();
    bool ShowCompressionDialog();
    // Quality of recorded video, 1 to 100 (Video Compression; kept in vcap.sif).
    int CompressionQuality() const;

    // Which device the chosen driver reads (CaptureDriver::deviceKey) and the folder that
    // tells when it comes and goes; empty without one.
    QString DeviceKey() const { return deviceKey_; }
    QString DeviceFolder() const { return deviceFolder_; }
    // Whether the open source is still being opened in the background.
    bool Opening() const;
    // The frame rate a source opened in the background gives itself; 0 when it does not.
    double SourceFrameRate() const { return sourceFrameRate_; }
    // The index of the driver that reads device `key` now; -1 when none does.
    int driverIndexOfDevice(const QString& key);
    // Driver `index`'s device key, and its Video Source dialog while it is not open (a
    // lost camera whose address needs mending); true when the user confirmed a change.
    QString deviceKeyOf(int index);
    bool HasSourceDialogOf(int index);
    bool ShowSourceDialogOf(int index);

    // "name version" for indices 0.., stopping at the first index without a driver.
    QStringList ListDrivers();

    quint16 imageWidth() const { return imageWidth_; }
    quint16 imageHeight() const { return imageHeight_; }
    // Geometry of the display inside this widget (the "capture window"); empty when closed.
    QRect captureWindowGeometry() const;
    // The last grabbed frame (24-bit BGR data in an RGB888-sized image, rows top-down).
    QImage lastGrabbedFrame() const;
    // The frame currently displayed (for tests and screenshots).
    QImage displayedFrame() const;

    // Size of the capture window for the given widget and picture sizes.
    static QRect scaledWindow(bool scaleToWindow, bool proportional, QSize widget, QSize picture);

signals:
    void OnStatus();
    void OnStatusCallback(int statusNumber, const QString& text);
    void OnError(int errorNumber, const QString& text);
    // A new live frame was shown (for start-up timing and tests).
    void frameShown();
    // A source that opens in the background (a network camera) has opened; its size and
    // rate are known now.
    void sourceOpened();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The driver at `index`; nullptr outside 0..MaxDrivers-1 or where none is installed.
    std::shared_ptr<CaptureDriver> driverAt(int index) const;
    // The newest frame; waits for a first one only until shortly after the source opened.
    QImage currentFrame() const;
    void statusUpdate(bool notify);
    void resizeCaptureWindow();
    void openWindow();
    void closeWindow();
    void clearWindow(); // what a closed device keeps: no buffer file, display or grab
    void dropCaches();
    bool queryCaps();
    bool connectSession();
    void stopSession();
    void reconnectSession();
    void updateDelivery();
    bool runDriverDialog(bool (CaptureDriver::*show)(QWidget*), bool refresh);
    void onSessionFrame(quint64 generation, const QImage& frame, const QImage& display);
    void setDisplayed(const QImage& frame, const QImage& display = {});
    void onSessionOpened(quint64 generation, double framesPerSecond);
    void onSessionError(quint64 generation, int errorNumber, const QString& text);
    // Ends a running recording and finishes its file; with `notify`, its errors and the
    // status 301 are reported.
    void finishRecording(bool notify);
    bool copyBufferToVideoFile(QString* error) const;

    std::shared_ptr<DriverRegistry> drivers_;
    QString programFolder_;
    std::unique_ptr<CaptureSession> session_;
    int driverIndex_ = -1;
    QString driverName_;
    QString deviceKey_;
    QString deviceFolder_;
    bool opening_ = false; // the session opens its source in the background
    std::chrono::steady_clock::time_point firstFrameDeadline_; // see currentFrame()
    double sourceFrameRate_ = 0;
    bool scaleToWindow_ = false;
    bool scaleProportional_ = false;
    quint16 previewRate_ = 30;
    quint32 microSecPerFrame_ = 66667;
    bool capAudio_ = false;
    QString videoFileName_ = QStringLiteral("Video.avi");
    QString singleImageFile_ = QStringLiteral("Capture.bmp");
    quint16 capTimeLimit_ = 0;
    quint32 capIndexSize_ = 0;
    quint16 bufferFileSize_ = 0;

    // cached status and capabilities
    bool haveCaps_ = false;
    DriverCaps caps_;
    bool previewOn_ = false;
    bool overlayOn_ = false;
    quint16 imageWidth_ = 0;
    quint16 imageHeight_ = 0;
    QRect captureWindow_;
    QImage lastGrabbed_;
    QString frameError_;
    QImage displayed_;
    QImage painted_; // displayed_ as drawn: scaled to the capture window, or null

    // What the display was told (the cached status above copies it on a status update).
    bool previewFlag_ = false;
    bool overlayFlag_ = false;
    // Events of a session that has since been closed are recognised by this number.
    quint64 generation_ = 0;
    BufferFile bufferFile_; // where a recording goes when a buffer size is set
    std::shared_ptr<Recorder> recorder_;
    quint64 recordingNumber_ = 0; // events of an earlier recording are dropped
    qint64 recordedBytes_ = 0;    // content of the last recording in the capture file
};

} // namespace ostrel
