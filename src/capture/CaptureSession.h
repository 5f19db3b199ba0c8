#pragma once
// The FFmpeg pipeline of one connected driver: demuxer and decoder opened on the caller's
// thread, then a capture thread that reads, decodes, converts every frame to 24-bit BGR,
// keeps the newest one and hands frames to the display at the preview rate. The session
// knows nothing of widgets: its callbacks run on the capture thread and the owner moves
// them to the user-interface thread.
#include "capture/CaptureDriver.h"
#include "platform/FileDescriptor.h"
#include <QImage>
#include <QSize>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct AVFrame;
struct AVPacket;

namespace ostrel {

struct CaptureInput; // demuxer and decoder, defined with the FFmpeg code
class Recorder;

class CaptureSession {
public:
    struct Callbacks {
        // A frame for the display (at most PreviewRate per second, and only while the
        // previous one has not been taken yet: see frameTaken()), and the same picture
        // scaled to the display size in Format_RGB32, ready to be drawn (null when no
        // display size is set).
        std::function<void(const QImage& frame, const QImage& display)> frame;
        // The source failed or ended; called once, as the capture thread's last act.
        std::function<void(int errorNumber, const QString& text)> error;
        // A source opened in the background has opened: its picture size, and its frame
        // rate as the stream tells it (0 when it does not).
        std::function<void(QSize size, double framesPerSecond)> opened;
    };

    // Opens the source and its decoder; nullptr and a reason in `error` when it cannot.
    // A source opened in the background is opened by start() on the capture thread.
    static std::unique_ptr<CaptureSession> open(const SourceSpec& spec, QString* error);
    // Plain words for why a network source did not open: the camera's answer.
    static QString openFailureText(int code);
    // Whether a read error (an FFmpeg error code) means the source will not deliver again:
    // the device went away.
    static bool isDeviceLost(int code);

    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;
    ~CaptureSession(); // stops and joins the capture thread

    void start(Callbacks callbacks);
    void stop();

    void setPreviewRate(int framesPerSecond);
    // Whether frames are handed to the display at all (preview or overlay on).
    void setDelivering(bool on);
    // The size the display draws frames at; empty for none.
    void setDisplaySize(QSize size);
    // Every decoded frame also goes to this recording; nullptr ends that. Any thread.
    void setRecorder(std::shared_ptr<Recorder> recorder);
    // The owner took the frame last handed over; the next one may follow.
    void frameTaken() { framePending_.store(false); }

    // Size of the newest frame, or the decoder's size before the first one.
    QSize frameSize() const;
    // The newest converted frame; a null image when there is none or the source has ended.
    QImage latestFrame() const;
    // Same, but waits up to `timeout` for a first frame. Processes no events.
    QImage waitForFrame(std::chrono::milliseconds timeout) const;
    bool ended() const;
    // After a refusal of a server's certificate: its fingerprint, which the user may trust.
    QString untrustedCertificate() const;
    // Frames converted since the start (for measurements).
    qint64 framesConverted() const { return framesConverted_.load(); }
    // What was opened: an owner compares it with a driver's new source to see whether
    // a dialog changed anything that needs a new connection.
    const SourceSpec& spec() const { return spec_; }

private:
    using Clock = std::chrono::steady_clock;

    explicit CaptureSession(const SourceSpec& spec);
    static int interruptCallback(void* opaque);
    // `code` receives the FFmpeg error of the step that failed.
    bool openInput(std::unique_ptr<CaptureInput>& input, QString* error, int* code = nullptr);
    QString shownUrl() const { return spec_.shownUrl.isEmpty() ? spec_.url : spec_.shownUrl; }

    void run() noexcept;
    void readLoop();
    bool restartInput();
    void decodePacket(const AVPacket* packet);    // nullptr drains the decoder
    void logError(const QString& step, int code); // rate-limited
    void handleFrame(AVFrame* frame);
    void pace(AVFrame* frame);
    double frameRate() const; // of the source, for frames without timestamps
    bool stalled() const;     // a device silent for longer than its stall timeout
    void noteActivity();
    void deliver(const QImage& image, const AVFrame* frame);
    QImage displayImage(const AVFrame* frame);
    void finish(int errorNumber, const QString& text);
    bool sleepUntil(Clock::time_point when);
    // A camera read without blocking has no frame ready: wait for one (on its descriptor).
    void waitForDevice();

    const SourceSpec spec_;
    const FileDescriptor wake_; // an eventfd that stop() signals to end a wait for the device
    std::unique_ptr<CaptureInput> input_;
    Callbacks callbacks_;
    std::thread thread_;

    std::atomic<bool> stop_{false};
    std::atomic<Clock::rep> openDeadline_{0}; // while opening: give up after this time
    std::atomic<bool> delivering_{false};
    std::atomic<quint32> displaySize_{0}; // width << 16 | height
    std::atomic<bool> framePending_{false};
    std::atomic<qint64> previewIntervalUs_{1000000 / 30};
    std::atomic<Clock::rep> lastActivity_{0}; // 0 while no read is under way
    std::atomic<bool> stallDetected_{false};
    std::atomic<qint64> framesConverted_{0};

    std::mutex recorderMutex_;
    std::shared_ptr<Recorder> recorder_;

    mutable std::mutex mutex_; // guards the members below
    mutable std::condition_variable changed_;
    QImage latest_;
    QSize frameSize_;
    bool ended_ = false;
    QString untrustedSha256_;

    QString refusal_; // why the open was refused before FFmpeg tried it; opening thread only

    // capture thread only
    Clock::time_point nextDelivery_{};
    bool paceStarted_ = false;
    Clock::time_point paceWall_{};
    Clock::time_point lastTarget_{};
    double paceSeconds_ = 0;
    double lastSeconds_ = 0;
    qint64 framesSeen_ = 0;
    Clock::time_point errorWindowStart_{};
    int errorsLogged_ = 0;
    int errorsSuppressed_ = 0;
};

} // namespace ostrel
