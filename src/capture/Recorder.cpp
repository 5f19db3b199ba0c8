#include "capture/Recorder.h"

#include "capture/Ffmpeg.h"
#include "capture/SoundInput.h"

extern "C" {
#include <libavutil/time.h>
}
#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcCapture)

namespace ostrel {

namespace {

using namespace std::chrono_literals;

constexpr int SoundRate = SoundInput::Rate;
constexpr int SoundChunk = SoundRate / 5; // five chunks a second, as the index is sized
constexpr size_t MaxQueued = 16; // frames waiting for the encoder, about 0.5 s at 30 fps
constexpr auto SoundPoll = 50ms;      // how often the recording looks for new sound
constexpr quint32 DefaultIndexSize = 100000;

// The file under the muxer, written at positions: a buffer file keeps its blocks, and a
// failed write (a full disk) is seen with its reason.
struct FileOutput {
    int fd = -1;
    int64_t pos = 0;
    int64_t end = 0; // content written so far
    int error = 0;   // errno of the first failed write

    FileOutput() = default;
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;
    ~FileOutput() {
        if (fd >= 0) ::close(fd);
    }

    static int write(void* opaque, uint8_t* buf, int size) {
        auto* f = static_cast<FileOutput*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(f->fd, buf + done, size_t(size - done), f->pos + done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (!f->error) f->error = n < 0 ? errno : ENOSPC;
                return AVERROR(f->error);
            }
            done += int(n);
        }
        f->pos += done;
        f->end = std::max(f->end, f->pos);
        return done;
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* f = static_cast<FileOutput*>(opaque);
        if (whence & AVSEEK_SIZE) return f->end;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += f->pos;
            break;
        case SEEK_END:
            offset += f->end;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        f->pos = offset;
        return offset;
    }
};

// The recording's time base: one picture per tick. A whole frame rate is kept exact, so
// 66667 us is 15 frames a second and not 1000000/66667.
AVRational frameTimeBase(quint32 microSecPerFrame) {
    const quint32 us = std::max<quint32>(microSecPerFrame, 1);
    const long fps = std::lround(1e6 / us);
    if (fps > 0 && std::lround(1e6 / double(fps)) == long(us)) return {1, int(fps)};
    return {int(us), 1000000};
}

} // namespace

struct Recorder::Impl {
    RecordingSettings settings;
    QSize size;
    Callbacks callbacks;
    AVRational frameTime{1, 15};
    Clock::time_point start;
    int64_t startWallUs = 0; // the sound inputs stamp their packets with the wall clock
    int64_t maxFrames = 0;   // 0: no time limit

    FileOutput out;
    ff::CustomIoPtr avio;
    ff::OutputContextPtr mux;
    ff::CodecContextPtr encoder;
    ff::SwsContextPtr scaler;
    ff::FramePtr picture;
    ff::PacketPtr lastPicture; // repeated for slots without a new frame
    AVStream* video = nullptr;
    AVStream* sound = nullptr;
    bool headerWritten = false;

    std::shared_ptr<SoundInput> soundIn;

    std::mutex mutex; // guards the members up to `thread`
    std::condition_variable wake;
    std::deque<std::pair<ff::FramePtr, Clock::time_point>> queue;
    bool stopRequested = false;
    Clock::time_point stopTime;
    std::thread thread;

    std::atomic<bool> closed{false}; // takes no more frames
    std::atomic<bool> endedByItself{false};
    RecordingResult result;
    bool joined = false;

    // recording thread only
    int64_t nextSlot = 0;
    int64_t entries = 0;
    int64_t soundWritten = 0;
    bool done = false; // limit reached or failed: no more pictures

    void run() noexcept;
    void record();
    bool openVideo();
    void openSound();
    void placeFrame(const AVFrame* frame, Clock::time_point arrival);
    bool encode(const AVFrame* frame);
    void writePicture(AVPacket* packet, bool repeat);
    void fillTo(int64_t slot);
    void writeSound(const uint8_t* samples, int count, bool closing = false);
    void finish();
    void fail(const QString& text);
    int64_t slotAt(Clock::time_point t) const;
    Clock::time_point slotTime(int64_t slot) const;
};

// ---- public face -------------------------------------------------------------------------

Recorder::Recorder(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

Recorder::~Recorder() {
    stop();
}

int Recorder::qscale(int quality) {
    const int q = std::clamp(quality, 1, 100);
    return int(std::lround(2 + (100 - q) * 29.0 / 99.0));
}

quint32 Recorder::indexSizeFor(quint16 frameRate, quint16 timeLimit, bool audio,
                               quint32 requested) {
    qint64 entries = 0;
    if (timeLimit != 0)
        entries = qint64(frameRate) * timeLimit + (audio ? 5 * qint64(timeLimit) : 0);
    else
        entries = requested != 0 ? requested : DefaultIndexSize;
    return quint32(std::clamp<qint64>(entries, MinIndexSize, MaxIndexSize));
}

std::unique_ptr<Recorder> Recorder::start(const RecordingSettings& settings, QSize frameSize,
                                          Callbacks callbacks, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return nullptr;
    };
    if (frameSize.isEmpty()) return fail(QStringLiteral("The camera has no picture size yet"));
    // 4:2:0 pictures have even sides.
    frameSize = QSize((frameSize.width() + 1) & ~1, (frameSize.height() + 1) & ~1);
    auto d = std::make_unique<Impl>();
    d->settings = settings;
    d->size = frameSize;
    d->callbacks = std::move(callbacks);
    d->frameTime = frameTimeBase(settings.microSecPerFrame);
    if (settings.timeLimit != 0)
        d->maxFrames =
            std::max<int64_t>(1, std::llround(settings.timeLimit / av_q2d(d->frameTime)));

    // The file is made here, so a folder that cannot be written is the caller's answer.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (!settings.keepAllocation) flags |= O_TRUNC;
    d->out.fd = ::open(QFile::encodeName(settings.file).constData(), flags, 0644);
    if (d->out.fd < 0)
        return fail(QStringLiteral("Could not create \"%1\": %2")
                        .arg(settings.file, QString::fromLocal8Bit(std::strerror(errno))));

    d->start = Recorder::Clock::now();
    d->startWallUs = av_gettime();
    Impl* impl = d.get();
    d->thread = std::thread([impl] { impl->run(); });
    return std::unique_ptr<Recorder>(new Recorder(std::move(d)));
}

void Recorder::push(const AVFrame* frame, Clock::time_point arrival) {
    if (d->closed.load()) return;
    ff::FramePtr ref(av_frame_clone(frame));
    if (!ref) return;
    {
        std::lock_guard lock(d->mutex);
        if (d->stopRequested) return;
        // The encoder fell behind: the oldest picture goes, its slot is filled by a repeat.
        if (d->queue.size() >= MaxQueued) d->queue.pop_front();
        d->queue.emplace_back(std::move(ref), arrival);
    }
    d->wake.notify_one();
}

RecordingResult Recorder::stop() {
    if (!d->joined) {
        {
            std::lock_guard lock(d->mutex);
            if (!d->stopRequested) {
                d->stopRequested = true;
                d->stopTime = Clock::now();
            }
        }
        d->closed.store(true);
        d->wake.notify_all();
        if (d->thread.joinable()) d->thread.join();
        d->queue.clear();
        d->joined = true;
    }
    return d->result;
}

bool Recorder::ended() const {
    return d->endedByItself.load();
}

// ---- the recording's thread --------------------------------------------------------------

void Recorder::Impl::run() noexcept {
    // Nothing may leave the thread: an escaping exception would end the program.
    try {
        record();
    } catch (...) {
        fail(QStringLiteral("The recording stopped after an internal error"));
    }
    try {
        finish();
    } catch (...) {
        fail(QStringLiteral("The recording could not be finished"));
    }
    closed.store(true);
    bool stopped = false;
    {
        std::lock_guard lock(mutex);
        stopped = stopRequested;
    }
    if (!stopped) {
        endedByItself.store(true);
        if (callbacks.ended) callbacks.ended();
    }
}

int64_t Recorder::Impl::slotAt(Clock::time_point t) const {
    const double seconds = std::chrono::duration<double>(t - start).count();
    return std::max<int64_t>(0, int64_t(std::floor(seconds / av_q2d(frameTime))));
}

Recorder::Clock::time_point Recorder::Impl::slotTime(int64_t slot) const {
    return start + std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(double(slot) * av_q2d(frameTime)));
}

void Recorder::Impl::fail(const QString& text) {
    if (result.error.isEmpty()) result.error = text;
    qCWarning(lcCapture, "%s: %s", qUtf8Printable(settings.file), qUtf8Printable(text));
    done = true;
}

void Recorder::Impl::record() {
    if (settings.audio) openSound();
    if (!openVideo()) return;
    int rc = avformat_write_header(mux.get(), nullptr);
    if (rc < 0) {
        fail(ff::stepError(QStringLiteral("Writing the AVI header"), rc));
        return;
    }
    headerWritten = true;
    if (soundIn) soundIn->start();

    const Clock::time_point deadline = maxFrames ? slotTime(maxFrames) : Clock::time_point::max();
    while (!done) {
        std::deque<std::pair<ff::FramePtr, Clock::time_point>> frames;
        std::vector<uint8_t> samples;
        bool stopping = false;
        {
            std::unique_lock lock(mutex);
            const auto ready = [this] { return stopRequested || !queue.empty(); };
            // Sound is looked for at short intervals, pictures wake the thread at once.
            const Clock::time_point until =
                soundIn ? std::min(deadline, Clock::now() + SoundPoll) : deadline;
            if (until != Clock::time_point::max())
                wake.wait_until(lock, until, ready);
            else
                wake.wait(lock, ready);
            frames.swap(queue);
            stopping = stopRequested;
        }
        if (soundIn) samples = soundIn->take(SoundChunk);
        for (auto& [frame, arrival] : frames) {
            if (done) break;
            placeFrame(frame.get(), arrival);
        }
        for (size_t at = 0; at < samples.size() && !done; at += SoundChunk)
            writeSound(samples.data() + at, SoundChunk);
        if (maxFrames && !done && Clock::now() >= deadline) {
            // The time is up also when the camera went quiet: the last picture stays.
            fillTo(maxFrames);
            result.limitReached = true;
            done = true;
        }
        if (stopping) break;
    }
}

bool Recorder::Impl::openVideo() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec) {
        fail(QStringLiteral("No Motion JPEG encoder is available"));
        return false;
    }
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", nullptr);
    if (rc < 0 || !raw) {
        fail(ff::stepError(QStringLiteral("Setting up the AVI writer"), rc < 0 ? rc : -ENOMEM));
        return false;
    }
    mux.reset(raw);
    constexpr int AvioBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(AvioBufferSize));
    AVIOContext* io = buffer ? avio_alloc_context(buffer, AvioBufferSize, 1, &out, nullptr,
                                                  &FileOutput::write, &FileOutput::seek)
                             : nullptr;
    if (!io) {
        av_free(buffer);
        fail(ff::errorText(AVERROR(ENOMEM)));
        return false;
    }
    avio.reset(io);
    mux->pb = io;
    mux->flags |= AVFMT_FLAG_CUSTOM_IO;

    encoder.reset(avcodec_alloc_context3(codec));
    picture.reset(av_frame_alloc());
    lastPicture.reset(av_packet_alloc());
    if (!encoder || !picture || !lastPicture) {
        fail(ff::errorText(AVERROR(ENOMEM)));
        return false;
    }
    encoder->width = size.width();
    encoder->height = size.height();
    encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
    encoder->time_base = frameTime;
    encoder->framerate = av_inv_q(frameTime);
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = Recorder::qscale(settings.quality) * FF_QP2LAMBDA;
    // One thread: the picture comes out at once, in its slot, and no CPU goes to handing
    // slices between threads (the capture and the display have the other cores).
    encoder->thread_count = 1;
    rc = avcodec_open2(encoder.get(), codec, nullptr);
    if (rc < 0) {
        fail(ff::stepError(QStringLiteral("Opening the Motion JPEG encoder"), rc));
        return false;
    }
    picture->format = encoder->pix_fmt;
    picture->width = encoder->width;
    picture->height = encoder->height;
    rc = av_frame_get_buffer(picture.get(), 0);
    video = avformat_new_stream(mux.get(), nullptr);
    if (rc < 0 || !video) {
        fail(ff::errorText(rc < 0 ? rc : AVERROR(ENOMEM)));
        return false;
    }
    video->time_base = frameTime;
    avcodec_parameters_from_context(video->codecpar, encoder.get());

    if (soundIn) {
        sound = avformat_new_stream(mux.get(), nullptr);
        if (!sound) {
            fail(ff::errorText(AVERROR(ENOMEM)));
            return false;
        }
        AVCodecParameters* p = sound->codecpar;
        p->codec_type = AVMEDIA_TYPE_AUDIO;
        p->codec_id = AV_CODEC_ID_PCM_U8;
        av_channel_layout_default(&p->ch_layout, 1);
        p->sample_rate = SoundRate;
        p->format = AV_SAMPLE_FMT_U8;
        p->bits_per_coded_sample = 8;
        p->block_align = 1;
        p->bit_rate = SoundRate * 8;
        sound->time_base = {1, SoundRate};
    }
    return true;
}

// ---- pictures ----------------------------------------------------------------------------

void Recorder::Impl::placeFrame(const AVFrame* frame, Clock::time_point arrival) {
    const int64_t slot = slotAt(arrival);
    if (maxFrames && slot >= maxFrames) {
        fillTo(maxFrames);
        result.limitReached = true;
        done = true;
        return;
    }
    // A camera faster than the recording: this slot has its picture already.
    if (slot < nextSlot) return;
    const bool first = lastPicture->size == 0;
    if (!first) fillTo(slot); // repeats of the last picture for slots that got no frame
    if (done || !encode(frame)) return;
    // Before the first picture there is nothing to repeat: it stands in for those slots.
    if (first) fillTo(slot + 1);
}

bool Recorder::Impl::encode(const AVFrame* frame) {
    // A frame in the encoder's own format and size goes in as it is.
    ff::FramePtr same;
    if (frame->format == encoder->pix_fmt && frame->width == encoder->width &&
        frame->height == encoder->height)
        same.reset(av_frame_clone(frame));
    AVFrame* input = same ? same.get() : picture.get();
    int rc = 0;
    if (!same) {
        rc = av_frame_make_writable(picture.get());
        if (rc < 0) {
            fail(ff::stepError(QStringLiteral("Preparing a picture"), rc));
            return false;
        }
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                          static_cast<AVPixelFormat>(frame->format), picture->width,
                                          picture->height, AV_PIX_FMT_YUVJ420P, SWS_BILINEAR,
                                          nullptr, nullptr, nullptr));
        if (!scaler) return true; // an odd frame is skipped; its slot gets a repeat
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, picture->data,
                  picture->linesize);
    }
    input->pts = nextSlot;
    input->quality = encoder->global_quality;
    rc = avcodec_send_frame(encoder.get(), input);
    ff::PacketPtr packet(av_packet_alloc());
    if (rc >= 0 && packet) rc = avcodec_receive_packet(encoder.get(), packet.get());
    if (rc < 0 || !packet) {
        fail(ff::stepError(QStringLiteral("Encoding a picture"), packet ? rc : AVERROR(ENOMEM)));
        return false;
    }
    writePicture(packet.get(), false);
    return !done;
}

void Recorder::Impl::writePicture(AVPacket* packet, bool repeat) {
    if (!repeat) {
        av_packet_unref(lastPicture.get());
        av_packet_ref(lastPicture.get(), packet);
    }
    packet->pts = packet->dts = av_rescale_q(nextSlot, frameTime, video->time_base);
    packet->duration = av_rescale_q(1, frameTime, video->time_base);
    packet->stream_index = video->index;
    packet->flags |= AV_PKT_FLAG_KEY;
    const int rc = av_interleaved_write_frame(mux.get(), packet);
    if (rc < 0) {
        fail(ff::stepError(QStringLiteral("Writing the recording"), rc));
        return;
    }
    ++nextSlot;
    ++result.frames;
    if (repeat) ++result.dropped;
    ++entries;
    if (maxFrames && nextSlot >= maxFrames) result.limitReached = done = true;
    if (settings.indexSize && entries >= qint64(settings.indexSize))
        result.limitReached = done = true;
}

void Recorder::Impl::fillTo(int64_t slot) {
    if (lastPicture->size == 0) return;
    while (nextSlot < slot && !done) {
        ff::PacketPtr copy(av_packet_clone(lastPicture.get()));
        if (!copy) {
            fail(ff::errorText(AVERROR(ENOMEM)));
            return;
        }
        writePicture(copy.get(), true);
    }
}

// ---- sound -------------------------------------------------------------------------------

void Recorder::Impl::openSound() {
    QString why;
    soundIn = SoundInput::open(
        settings.audioInputs, startWallUs,
        [this] {
            std::lock_guard lock(mutex);
            return stopRequested;
        },
        callbacks.warning, &why);
    if (!soundIn && callbacks.warning)
        callbacks.warning(QStringLiteral("The recording has no sound: %1").arg(why));
}

// The closing chunks are written even past a full index: the sound must end with the
// pictures.
void Recorder::Impl::writeSound(const uint8_t* samples, int count, bool closing) {
    if (!sound || count <= 0) return;
    ff::PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), count) < 0) {
        fail(ff::errorText(AVERROR(ENOMEM)));
        return;
    }
    std::memcpy(packet->data, samples, size_t(count));
    packet->pts = packet->dts = av_rescale_q(soundWritten, {1, SoundRate}, sound->time_base);
    packet->duration = av_rescale_q(count, {1, SoundRate}, sound->time_base);
    packet->stream_index = sound->index;
    packet->flags |= AV_PKT_FLAG_KEY;
    const int rc = av_interleaved_write_frame(mux.get(), packet.get());
    if (rc < 0) {
        fail(ff::stepError(QStringLiteral("Writing the recording"), rc));
        return;
    }
    soundWritten += count;
    result.soundSamples = soundWritten;
    ++entries;
    if (!closing && settings.indexSize && entries >= qint64(settings.indexSize))
        result.limitReached = done = true;
}

// ---- the end -----------------------------------------------------------------------------

void Recorder::Impl::finish() {
    if (!headerWritten) return;
    if (soundIn) soundIn->end();
    const bool failed = !result.error.isEmpty();
    Clock::time_point end;
    {
        std::lock_guard lock(mutex);
        end = stopRequested ? stopTime : Clock::now();
    }
    // The file lasts as long as the recording did: the last picture stands until the end.
    if (!done) fillTo(maxFrames ? std::min(slotAt(end), maxFrames) : slotAt(end));
    if (sound && !failed) {
        // The sound ends with the pictures, padded with silence or cut.
        const int64_t target = av_rescale_q(nextSlot, frameTime, {1, SoundRate});
        std::vector<uint8_t> rest = soundIn->take(1);
        const int64_t wanted = std::max<int64_t>(0, target - soundWritten);
        rest.resize(size_t(wanted), SoundInput::Silence);
        for (size_t at = 0; at < rest.size() && result.error.isEmpty(); at += SoundChunk)
            writeSound(rest.data() + at, int(std::min<size_t>(SoundChunk, rest.size() - at)), true);
    }
    int rc = av_write_trailer(mux.get());
    avio_flush(avio.get());
    if (rc < 0 && !failed) fail(ff::stepError(QStringLiteral("Finishing the recording"), rc));
    if (out.error && result.error.isEmpty())
        fail(QStringLiteral("Writing the recording failed: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(out.error))));
    result.bytes = out.end;
}

} // namespace ostrel
