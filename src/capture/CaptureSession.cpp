#include "capture/CaptureSession.h"

#include "capture/CameraTls.h"
#include "capture/Ffmpeg.h"
#include "capture/Recorder.h"
#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"

extern "C" {
#include <libavdevice/avdevice.h>
}
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>

// Decode and conversion errors of running sources; debug messages are off by default.
Q_LOGGING_CATEGORY(lcCapture, "ostrel.capture", QtInfoMsg)

namespace ostrel {

struct CaptureInput {
    std::shared_ptr<QTemporaryFile> certificate; // the one FFmpeg's TLS may accept
    ff::FormatContextPtr format;
    ff::CodecContextPtr decoder;
    ff::FramePtr frame;
    ff::SwsContextPtr scaler;
    ff::SwsContextPtr displayScaler;
    int stream = -1;
    int deviceFd = -1; // a camera read without blocking: its descriptor, to wait on
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};
};

namespace {

// The descriptor FFmpeg's video4linux2 input reads `device` through. The input keeps it
// right after its class pointer; it is taken only when it is a descriptor of that very
// device, so another layout of the input's data yields -1 and the caller falls back to
// sleeping between reads.
int videoDeviceDescriptor(const AVFormatContext* format, const QString& device) {
    if (!format->iformat || !format->priv_data ||
        qstrcmp(format->iformat->name, "video4linux2,v4l2") != 0)
        return -1;
    struct Layout {
        const AVClass* cls;
        int fd;
    };
    const int fd = static_cast<const Layout*>(format->priv_data)->fd;
    struct stat opened {
    }, named{};
    if (fd < 0 || ::fstat(fd, &opened) != 0 ||
        ::stat(QFile::encodeName(device).constData(), &named) != 0)
        return -1;
    return S_ISCHR(opened.st_mode) && opened.st_rdev == named.st_rdev ? fd : -1;
}

using namespace std::chrono_literals;

// A device that takes longer than this to open is treated as not connected, so a hung
// driver cannot freeze the program.
constexpr auto OpenTimeout = 15s;

// A broken stream fails on every packet: at most this many errors are logged per window,
// the rest only counted.
constexpr int LoggedErrorsPerWindow = 5;
constexpr auto ErrorLogWindow = 10s;

// FFmpeg's own messages go to the debug output of the capture category. A broken stream
// repeats them for every packet; this code reports each failure itself, naming its step,
// and rate-limited where it repeats.
void forwardFfmpegLog(void* context, int level, const char* format, va_list args) {
    if (level > av_log_get_level() || !lcCapture().isDebugEnabled()) return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, args, line, sizeof line, &printPrefix);
    // FFmpeg may name the address it opens, with the camera's login in it.
    static const QRegularExpression login(QStringLiteral("//[^/@\\s]*@"));
    qCDebug(lcCapture, "%s",
            qUtf8Printable(
                QString::fromUtf8(line).trimmed().replace(login, QStringLiteral("//****@"))));
}

void registerDevicesOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        avdevice_register_all();
        // Per-frame warnings (deprecated pixel formats, late frames) are noise.
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(forwardFfmpegLog);
    });
}

bool headerIsComplete(const AVFormatContext* format) {
    bool video = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        if (p->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (p->codec_id == AV_CODEC_ID_NONE || p->width <= 0 || p->height <= 0) return false;
        video = true;
    }
    return video;
}

} // namespace

bool CaptureSession::isDeviceLost(int code) {
    return code == AVERROR_EOF || code == AVERROR(ENODEV) || code == AVERROR(EIO) ||
           code == AVERROR(ENXIO) || code == AVERROR(ESHUTDOWN);
}

CaptureSession::CaptureSession(const SourceSpec& spec)
    : spec_(spec), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CaptureSession::~CaptureSession() {
    stop();
}

std::unique_ptr<CaptureSession> CaptureSession::open(const SourceSpec& spec, QString* error) {
    std::unique_ptr<CaptureSession> session(new CaptureSession(spec));
    if (spec.openInBackground) return session;
    if (!session->openInput(session->input_, error)) return nullptr;
    return session;
}

int CaptureSession::interruptCallback(void* opaque) {
    auto* self = static_cast<CaptureSession*>(opaque);
    if (self->stop_.load()) return 1;
    // A read that blocks inside FFmpeg (a network stream) is given up when the source
    // has been silent too long, like a device that stopped answering.
    if (self->stalled()) {
        self->stallDetected_.store(true);
        return 1;
    }
    const Clock::rep deadline = self->openDeadline_.load();
    return deadline != 0 && Clock::now().time_since_epoch().count() > deadline ? 1 : 0;
}

bool CaptureSession::stalled() const {
    const Clock::rep last = lastActivity_.load();
    if (spec_.stallTimeoutMs <= 0 || last == 0) return false;
    const Clock::duration silence = Clock::now().time_since_epoch() - Clock::duration(last);
    return silence > std::chrono::milliseconds(spec_.stallTimeoutMs);
}

void CaptureSession::noteActivity() {
    lastActivity_.store(Clock::now().time_since_epoch().count());
}

QString CaptureSession::openFailureText(int code) {
    switch (code) {
    case AVERROR_HTTP_UNAUTHORIZED:
    case AVERROR(EACCES):
        return QStringLiteral("The camera refused the user name or password.");
    case AVERROR_HTTP_FORBIDDEN:
        return QStringLiteral("The camera refused access (403 Forbidden).");
    case AVERROR_HTTP_NOT_FOUND:
    case AVERROR_STREAM_NOT_FOUND:
        return QStringLiteral("The camera has no stream at this address (not found).");
    case AVERROR(ECONNREFUSED):
        return QStringLiteral("Nothing answers at this address and port.");
    case AVERROR(EHOSTUNREACH):
    case AVERROR(ENETUNREACH):
        return QStringLiteral("There is no route to the camera's address.");
    case AVERROR(ETIMEDOUT):
    case AVERROR_EXIT:
        return QStringLiteral("The camera did not answer in time.");
    case AVERROR(EIO):
        return QStringLiteral("The camera could not be reached (host name not found, or the "
                              "connection failed).");
    case AVERROR_INVALIDDATA:
    case AVERROR_DECODER_NOT_FOUND:
        return QStringLiteral("The camera's stream cannot be decoded.");
    case AVERROR(EINVAL): // also what the lists of allowed protocols and formats answer
        return QStringLiteral("The address or the camera's answer is not an RTSP or HTTP "
                              "camera stream.");
    default:
        return QStringLiteral("The camera's stream did not open: ") + ff::errorText(code) +
               QLatin1Char('.');
    }
}

bool CaptureSession::openInput(std::unique_ptr<CaptureInput>& out, QString* error, int* code) {
    registerDevicesOnce();
    int lastCode = AVERROR_UNKNOWN;
    auto fail = [error, code, &lastCode](const QString& why) {
        if (error) *error = why;
        if (code) *code = lastCode;
        return false;
    };
    if (spec_.url.isEmpty()) return fail(QStringLiteral("No source to open"));

    const AVInputFormat* inputFormat = nullptr;
    if (!spec_.inputFormat.isEmpty()) {
        inputFormat = av_find_input_format(spec_.inputFormat.toUtf8().constData());
        if (!inputFormat)
            return fail(
                QStringLiteral("Input format \"%1\" is not available").arg(spec_.inputFormat));
    }
    const auto timeout = spec_.openTimeoutMs > 0 ? std::chrono::milliseconds(spec_.openTimeoutMs)
                                                 : std::chrono::milliseconds(OpenTimeout);
    openDeadline_.store((Clock::now() + timeout).time_since_epoch().count());
    struct DeadlineReset {
        std::atomic<Clock::rep>& deadline;
        ~DeadlineReset() { deadline.store(0); }
    } deadlineReset{openDeadline_};

    QMap<QString, QString> optionMap = spec_.options;
    std::shared_ptr<QTemporaryFile> certificate;
    if (isTlsAddress(spec_.url)) {
        // The check waits on the network in an event loop, which the window's thread
        // must never run.
        if (!spec_.openInBackground)
            return fail(QStringLiteral("A TLS address opens only in the background"));
        CameraTrust trust = establishCameraTrust(spec_.url, spec_.trustedSha256,
                                                 [this] { return interruptCallback(this) != 0; });
        if (!trust.refusal.isEmpty()) {
            {
                std::lock_guard lock(mutex_);
                untrustedSha256_ = trust.untrustedSha256;
            }
            refusal_ = trust.refusal;
            lastCode = AVERROR(EPERM);
            return fail(trust.refusal);
        }
        optionMap.insert(trust.options);
        certificate = std::move(trust.certificate);
    }
    ff::Dictionary options;
    for (auto it = optionMap.cbegin(); it != optionMap.cend(); ++it)
        av_dict_set(&options.raw, it.key().toUtf8().constData(), it.value().toUtf8().constData(),
                    0);

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return fail(ff::errorText(AVERROR(ENOMEM)));
    raw->interrupt_callback = AVIOInterruptCB{&CaptureSession::interruptCallback, this};
    // A camera read without blocking answers EAGAIN while no frame is ready, so a
    // silent camera cannot keep the capture thread from stopping.
    if (spec_.nonBlocking) raw->flags |= AVFMT_FLAG_NONBLOCK;

    // On failure avformat_open_input frees the context itself.
    int rc = avformat_open_input(&raw, spec_.url.toUtf8().constData(), inputFormat, &options.raw);
    lastCode = rc;
    if (rc < 0)
        return fail(ff::stepError(QStringLiteral("Opening the input \"%1\"").arg(shownUrl()), rc));
    auto input = std::make_unique<CaptureInput>();
    input->format.reset(raw);
    input->certificate = std::move(certificate);

    // Probing reads frames ahead. A non-blocking device whose header already gave its
    // picture size is not probed: the probe would spin on EAGAIN until the first frame.
    if (!spec_.nonBlocking || !headerIsComplete(raw)) {
        rc = avformat_find_stream_info(raw, nullptr);
        lastCode = rc;
        if (rc < 0)
            return fail(ff::stepError(QStringLiteral("Reading the stream information"), rc));
    }
    const AVCodec* codec = nullptr;
    rc = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    lastCode = rc < 0 ? rc : AVERROR_DECODER_NOT_FOUND;
    if (rc < 0 || !codec)
        return fail(ff::stepError(QStringLiteral("Finding a video stream and its decoder"),
                                  rc < 0 ? rc : AVERROR_DECODER_NOT_FOUND));
    input->stream = rc;
    AVStream* stream = raw->streams[rc];

    input->decoder.reset(avcodec_alloc_context3(codec));
    input->frame.reset(av_frame_alloc());
    rc = !input->decoder || !input->frame
             ? AVERROR(ENOMEM)
             : avcodec_parameters_to_context(input->decoder.get(), stream->codecpar);
    if (rc >= 0) rc = avcodec_open2(input->decoder.get(), codec, nullptr);
    lastCode = rc;
    if (rc < 0)
        return fail(ff::stepError(QStringLiteral("Opening the %1 decoder").arg(codec->name), rc));
    input->timeBase = stream->time_base;
    if (spec_.nonBlocking) input->deviceFd = videoDeviceDescriptor(raw, spec_.url);
    input->frameRate = av_guess_frame_rate(raw, stream, nullptr);

    {
        std::lock_guard lock(mutex_);
        frameSize_ = QSize(input->decoder->width, input->decoder->height);
    }
    qCDebug(lcCapture, "Opened \"%s\": %s, %dx%d", qUtf8Printable(shownUrl()), codec->name,
            input->decoder->width, input->decoder->height);
    out = std::move(input);
    return true;
}

void CaptureSession::start(Callbacks callbacks) {
    if (thread_.joinable() || (!input_ && !spec_.openInBackground)) return;
    callbacks_ = std::move(callbacks);
    thread_ = std::thread([this] { run(); });
}

void CaptureSession::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    changed_.notify_all();
    if (wake_) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
}

void CaptureSession::setPreviewRate(int framesPerSecond) {
    previewIntervalUs_.store(1000000 / std::clamp(framesPerSecond, 1, 30));
}

void CaptureSession::setRecorder(std::shared_ptr<Recorder> recorder) {
    std::lock_guard lock(recorderMutex_);
    recorder_ = std::move(recorder);
}

void CaptureSession::setDelivering(bool on) {
    delivering_.store(on);
}

void CaptureSession::setDisplaySize(QSize size) {
    const bool valid =
        size.width() > 0 && size.height() > 0 && size.width() <= 0xFFFF && size.height() <= 0xFFFF;
    displaySize_.store(valid ? quint32(size.width()) << 16 | quint32(size.height()) : 0);
}

QSize CaptureSession::frameSize() const {
    std::lock_guard lock(mutex_);
    return frameSize_;
}

QImage CaptureSession::latestFrame() const {
    std::lock_guard lock(mutex_);
    return ended_ ? QImage() : latest_;
}

QImage CaptureSession::waitForFrame(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return !latest_.isNull() || ended_ || stop_; });
    return ended_ ? QImage() : latest_;
}

bool CaptureSession::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

QString CaptureSession::untrustedCertificate() const {
    std::lock_guard lock(mutex_);
    return untrustedSha256_;
}

void CaptureSession::run() noexcept {
    // Nothing may leave the thread: an escaping exception would end the program.
    try {
        if (!input_) {
            QString why;
            int code = 0;
            if (!openInput(input_, &why, &code)) {
                if (!stop_.load()) {
                    qCWarning(lcCapture, "%s", qUtf8Printable(why));
                    finish(AVUNERROR(code),
                           QString::fromUtf8(DeviceLostText) + QLatin1Char(' ') +
                               (refusal_.isEmpty() ? openFailureText(code) : refusal_));
                }
            } else if (callbacks_.opened) {
                // The average the stream states, not a guess: an MJPEG stream over HTTP
                // states none.
                const AVRational rate = input_->format->streams[input_->stream]->avg_frame_rate;
                callbacks_.opened(frameSize(), rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0);
            }
        }
        if (input_) readLoop();
    } catch (...) {
        try {
            finish(EFAULT, QStringLiteral("Capture stopped after an internal error"));
        } catch (...) {
        }
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void CaptureSession::readLoop() {
    ff::PacketPtr packet(av_packet_alloc());
    if (!packet) {
        finish(ENOMEM, ff::errorText(AVERROR(ENOMEM)));
        return;
    }
    qint64 framesAtRestart = -1; // frames seen when the source last started over
    noteActivity();
    while (!stop_.load()) {
        const int rc = av_read_frame(input_->format.get(), packet.get());
        if (stop_.load()) break;
        if (rc == AVERROR(EAGAIN)) {
            if (stalled()) {
                finish(ETIMEDOUT, QString::fromUtf8(DeviceLostText));
                return;
            }
            waitForDevice();
            continue;
        }
        const bool willLoop = rc == AVERROR_EOF && spec_.loop;
        if (rc < 0 && !willLoop && (spec_.device || stallDetected_.load())) {
            // Whatever a device reports once it stops delivering, it is gone for the
            // program: unplugged, failed, or silent.
            finish(stallDetected_.load() ? ETIMEDOUT : (rc == AVERROR_EOF ? ENODEV : AVUNERROR(rc)),
                   QString::fromUtf8(DeviceLostText));
            return;
        }
        if (rc < 0) {
            if (rc == AVERROR_EOF) {
                decodePacket(nullptr); // the decoder still holds the last frames
                if (stop_.load()) break;
                // A source that ends again without a single frame would loop forever.
                if (spec_.loop && framesSeen_ != framesAtRestart && restartInput()) {
                    framesAtRestart = framesSeen_;
                    continue;
                }
            }
            if (isDeviceLost(rc))
                finish(rc == AVERROR_EOF ? ENODEV : AVUNERROR(rc),
                       QString::fromUtf8(DeviceLostText));
            else
                finish(AVUNERROR(rc), ff::stepError(QStringLiteral("Reading the input"), rc));
            return;
        }
        if (packet->stream_index == input_->stream) decodePacket(packet.get());
        av_packet_unref(packet.get());
        // Packets that never decode are no sign of life: such a device is lost as well.
        if (stalled()) {
            finish(ETIMEDOUT, QString::fromUtf8(DeviceLostText));
            return;
        }
    }
}

bool CaptureSession::restartInput() {
    AVFormatContext* format = input_->format.get();
    const int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
    if (av_seek_frame(format, -1, start, AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(input_->decoder.get());
        return true;
    }
    // Sources that cannot seek are opened afresh.
    std::unique_ptr<CaptureInput> fresh;
    QString ignored;
    if (!openInput(fresh, &ignored)) return false;
    input_ = std::move(fresh);
    return true;
}

void CaptureSession::decodePacket(const AVPacket* packet) {
    AVCodecContext* decoder = input_->decoder.get();
    AVFrame* frame = input_->frame.get();
    // A damaged packet is skipped like a dropped frame; the next one may decode.
    int rc = avcodec_send_packet(decoder, packet);
    if (rc < 0 && rc != AVERROR_EOF) {
        logError(QStringLiteral("Sending a packet to the decoder"), rc);
        return;
    }
    while (!stop_.load()) {
        rc = avcodec_receive_frame(decoder, frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break; // wants more input; drained
        if (rc < 0) {
            logError(QStringLiteral("Decoding a frame"), rc);
            break;
        }
        // Alive means frames that decode, not bytes that arrive.
        noteActivity();
        handleFrame(frame);
        av_frame_unref(frame);
    }
}

void CaptureSession::logError(const QString& step, int code) {
    const Clock::time_point now = Clock::now();
    if (now - errorWindowStart_ >= ErrorLogWindow) {
        if (errorsSuppressed_ > 0)
            qCWarning(lcCapture, "%d more capture errors not shown", errorsSuppressed_);
        errorWindowStart_ = now;
        errorsLogged_ = 0;
        errorsSuppressed_ = 0;
    }
    if (errorsLogged_ >= LoggedErrorsPerWindow) {
        ++errorsSuppressed_;
        return;
    }
    ++errorsLogged_;
    qCWarning(lcCapture, "%s: %s", qUtf8Printable(shownUrl()),
              qUtf8Printable(ff::stepError(step, code)));
}

void CaptureSession::handleFrame(AVFrame* frame) {
    const int width = frame->width;
    const int height = frame->height;
    if (width <= 0 || height <= 0 || width > bitmap::MaxDimension ||
        height > bitmap::MaxDimension || frame->format < 0)
        return;
    if (!spec_.paced) {
        pace(frame);
        if (stop_.load()) return;
    }
    ++framesSeen_;
    {
        // The recording takes a reference to the decoded frame, not a copy.
        std::lock_guard lock(recorderMutex_);
        if (recorder_) recorder_->push(frame, Clock::now());
    }

    ff::SwsContextPtr& scaler = input_->scaler;
    // sws_getCachedContext frees the old context itself when it has to make a new one.
    scaler.reset(sws_getCachedContext(scaler.release(), width, height,
                                      static_cast<AVPixelFormat>(frame->format), width, height,
                                      AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        logError(QStringLiteral("Setting up the converter"), AVERROR(EINVAL));
        return;
    }
    // A fresh image per frame: the previous one may still be shown or grabbed, and images
    // handed out are never written again.
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull()) return;
    uint8_t* const dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, dst, dstStride);
    framesConverted_.fetch_add(1);

    {
        std::lock_guard lock(mutex_);
        latest_ = image;
        frameSize_ = image.size();
    }
    changed_.notify_all();
    deliver(image, frame);
}

void CaptureSession::pace(AVFrame* frame) {
    double seconds = 0;
    int64_t timestamp = frame->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE) timestamp = frame->pts;
    if (timestamp != AV_NOPTS_VALUE && input_->timeBase.den > 0 && input_->timeBase.num > 0) {
        seconds = double(timestamp) * av_q2d(input_->timeBase);
    } else {
        seconds = double(framesSeen_) / frameRate();
    }

    const Clock::time_point now = Clock::now();
    const auto frameDuration = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / frameRate()));
    const double previous = lastSeconds_;
    lastSeconds_ = seconds;
    if (!paceStarted_) {
        paceStarted_ = true;
        paceWall_ = lastTarget_ = now;
        paceSeconds_ = seconds;
        return;
    }
    if (seconds <= previous) {
        // The timestamps started over (a looped file) or stand still: this frame follows
        // the last one after one frame time, also when the file holds a single picture.
        paceWall_ = std::max(now, lastTarget_ + frameDuration);
        paceSeconds_ = seconds;
        lastTarget_ = paceWall_;
        sleepUntil(paceWall_);
        return;
    }
    auto target = paceWall_ + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds - paceSeconds_));
    // Far behind (a stalled machine): no rush to catch up. Far ahead (a gap in a file):
    // no long frozen picture. Either way the pace starts over from this frame.
    if (target + 1s < now || target > now + 5s) {
        paceWall_ = target = now;
        paceSeconds_ = seconds;
    }
    lastTarget_ = target;
    sleepUntil(target);
}

double CaptureSession::frameRate() const {
    const AVRational rate = input_->frameRate;
    if (rate.num <= 0 || rate.den <= 0) return 15.0;
    return std::clamp(av_q2d(rate), 1.0, 1000.0);
}

void CaptureSession::deliver(const QImage& image, const AVFrame* frame) {
    if (!delivering_.load() || framePending_.load() || !callbacks_.frame) return;
    const Clock::time_point now = Clock::now();
    const auto interval = std::chrono::microseconds(previewIntervalUs_.load());
    // A quarter interval of slack keeps a source running at the preview rate from
    // losing frames to timing jitter.
    if (now + interval / 4 < nextDelivery_) return;
    nextDelivery_ = std::max(nextDelivery_ + interval, now + interval / 2);
    framePending_.store(true);
    callbacks_.frame(image, displayImage(frame));
}

// Scaling and the conversion to the painter's own format happen here, not in the painting
// on the user-interface thread.
QImage CaptureSession::displayImage(const AVFrame* frame) {
    const quint32 packed = displaySize_.load();
    const int width = int(packed >> 16);
    const int height = int(packed & 0xFFFF);
    if (width == 0 || height == 0) return {};
    ff::SwsContextPtr& scaler = input_->displayScaler;
    scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                      static_cast<AVPixelFormat>(frame->format), width, height,
                                      AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
    QImage image(width, height, QImage::Format_RGB32);
    if (!scaler || image.isNull()) return {};
    uint8_t* const dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    return image;
}

void CaptureSession::finish(int errorNumber, const QString& text) {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    if (callbacks_.error) callbacks_.error(errorNumber, text);
}

void CaptureSession::waitForDevice() {
    const int fd = input_->deviceFd;
    if (fd < 0 || !wake_) {
        sleepUntil(Clock::now() + 5ms);
        return;
    }
    // Woken by a frame, by stop(), or in time to notice a camera that fell silent.
    int timeoutMs = 1000;
    const Clock::rep last = lastActivity_.load();
    if (spec_.stallTimeoutMs > 0 && last != 0) {
        const auto silence = std::chrono::duration_cast<std::chrono::milliseconds>(
            Clock::now().time_since_epoch() - Clock::duration(last));
        timeoutMs = int(std::clamp<qint64>(spec_.stallTimeoutMs - silence.count() + 1, 1, 1000));
    }
    pollfd fds[] = {{fd, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) > 0 && (fds[0].revents & (POLLERR | POLLNVAL)) != 0)
        sleepUntil(Clock::now() + 5ms); // the next read reports what went wrong
}

bool CaptureSession::sleepUntil(Clock::time_point when) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_until(lock, when, [this] { return stop_.load(); });
}

} // namespace ostrel
