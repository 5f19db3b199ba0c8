#include "capture/SoundInput.h"

#include "capture/Ffmpeg.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/channel_layout.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
}
#include <QLoggingCategory>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

Q_DECLARE_LOGGING_CATEGORY(lcCapture)

namespace ostrel {

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int Slack = SoundInput::Rate / 25; // drift beyond 40 ms is corrected
constexpr auto OpenTimeout = 5s;
constexpr auto EndGrace = 300ms; // the longest end() waits for the reading thread
} // namespace

// Everything the reading thread touches; it holds a reference of its own, so a thread
// left inside a read finds it still there when the read returns.
struct SoundInput::State {
    ff::FormatContextPtr format;
    ff::CodecContextPtr decoder;
    ff::SwrContextPtr resampler;
    int stream = -1;
    AVRational timeBase{1, 1000000};
    int64_t startWallUs = 0;
    std::function<void(const QString&)> warning;

    // FFmpeg's interrupt callback: while opening, the caller's cancel and the deadline;
    // afterwards only end().
    std::function<bool()> cancelled;
    Clock::time_point openDeadline;
    std::atomic<bool> opened{false};
    std::atomic<bool> stopping{false};

    std::mutex mutex;            // guards the members up to `exitedChanged`
    std::vector<uint8_t> buffer; // converted sound not yet taken
    bool started = false;
    bool stop = false;
    bool exited = false;
    std::condition_variable exitedChanged;

    // reading thread only
    int64_t produced = 0;
    bool aligned = false;

    static int interrupted(void* opaque);
    bool openInput(const QString& formatName, const QString& device, QString* why);
    static void run(std::shared_ptr<State> self);
    void read();
    void append(const uint8_t* samples, int count, int64_t startUs);
    void warn(const QString& text);
};

int SoundInput::State::interrupted(void* opaque) {
    auto* self = static_cast<State*>(opaque);
    if (self->stopping.load()) return 1;
    if (self->opened.load()) return 0;
    return (self->cancelled && self->cancelled()) || Clock::now() > self->openDeadline ? 1 : 0;
}

std::shared_ptr<SoundInput> SoundInput::open(const QList<std::pair<QString, QString>>& inputs,
                                             int64_t startWallUs,
                                             std::function<bool()> cancelled,
                                             std::function<void(const QString&)> warning,
                                             QString* why) {
    QString reason = QStringLiteral("no sound input is configured");
    for (const auto& [format, device] : inputs) {
        auto state = std::make_shared<State>();
        state->startWallUs = startWallUs;
        state->cancelled = cancelled;
        if (state->openInput(format, device, &reason)) {
            state->cancelled = nullptr; // it may point into the caller
            state->opened.store(true);
            state->warning = std::move(warning);
            return std::shared_ptr<SoundInput>(new SoundInput(std::move(state)));
        }
    }
    if (why) *why = reason;
    return nullptr;
}

SoundInput::SoundInput(std::shared_ptr<State> state) : s(std::move(state)) {}

SoundInput::~SoundInput() {
    end();
}

void SoundInput::start() {
    {
        std::lock_guard lock(s->mutex);
        if (s->started || s->stop) return;
        s->started = true;
    }
    std::thread(&State::run, s).detach();
}

std::vector<uint8_t> SoundInput::take(size_t chunk) {
    std::lock_guard lock(s->mutex);
    const size_t n = s->buffer.size() / std::max<size_t>(chunk, 1) * std::max<size_t>(chunk, 1);
    std::vector<uint8_t> taken(s->buffer.begin(), s->buffer.begin() + long(n));
    s->buffer.erase(s->buffer.begin(), s->buffer.begin() + long(n));
    return taken;
}

void SoundInput::end() {
    s->stopping.store(true);
    std::unique_lock lock(s->mutex);
    if (s->stop) return;
    s->stop = true;
    if (s->started &&
        !s->exitedChanged.wait_for(lock, EndGrace, [this] { return s->exited; }))
        qCDebug(lcCapture, "The sound input's read is left to end by itself");
}

bool SoundInput::State::openInput(const QString& formatName, const QString& device,
                                  QString* why) {
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    const AVInputFormat* inputFormat = av_find_input_format(formatName.toUtf8().constData());
    if (!inputFormat) {
        *why = QStringLiteral("the sound input \"%1\" is not available").arg(formatName);
        return false;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return false;
    // A sound server that does not answer, or a cancel, gives up the opening.
    openDeadline = Clock::now() + OpenTimeout;
    raw->interrupt_callback = AVIOInterruptCB{&State::interrupted, this};
    raw->flags |= AVFMT_FLAG_NONBLOCK;
    ff::Dictionary options;
    av_dict_set(&options.raw, "sample_rate", "8000", 0);
    av_dict_set(&options.raw, "channels", "1", 0);
    const QByteArray name = device.isEmpty() ? QByteArrayLiteral("default") : device.toUtf8();
    int rc = avformat_open_input(&raw, name.constData(), inputFormat, &options.raw);
    if (rc < 0) {
        *why = ff::stepError(QStringLiteral("Opening the sound input %1").arg(formatName), rc);
        return false;
    }
    format.reset(raw);
    const AVCodec* codec = nullptr;
    rc = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (rc < 0 || !codec) {
        *why = ff::stepError(QStringLiteral("Finding the sound stream"),
                             rc < 0 ? rc : AVERROR_DECODER_NOT_FOUND);
        return false;
    }
    stream = rc;
    AVStream* st = raw->streams[rc];
    timeBase = st->time_base;
    decoder.reset(avcodec_alloc_context3(codec));
    rc = decoder ? avcodec_parameters_to_context(decoder.get(), st->codecpar) : AVERROR(ENOMEM);
    if (rc >= 0) rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc < 0) {
        *why = ff::stepError(QStringLiteral("Opening the sound decoder"), rc);
        return false;
    }
    AVCodecContext* dec = decoder.get();
    AVChannelLayout inLayout{};
    if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || dec->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&inLayout, std::max(dec->ch_layout.nb_channels, 1));
    else
        av_channel_layout_copy(&inLayout, &dec->ch_layout);
    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    SwrContext* swr = nullptr;
    rc = swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_U8, Rate, &inLayout, dec->sample_fmt,
                             dec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    resampler.reset(swr);
    if (rc >= 0) rc = swr_init(swr);
    if (rc < 0) {
        *why = ff::stepError(QStringLiteral("Setting up the sound conversion"), rc);
        return false;
    }
    qCDebug(lcCapture, "Sound from %s: %s, %d Hz, %d channels", qUtf8Printable(formatName),
            codec->name, dec->sample_rate, dec->ch_layout.nb_channels);
    return true;
}

void SoundInput::State::run(std::shared_ptr<State> self) {
    try {
        self->read();
    } catch (...) {
        self->warn(QStringLiteral("The sound input stopped after an internal error"));
    }
    std::lock_guard lock(self->mutex);
    self->exited = true;
    self->exitedChanged.notify_all();
}

void SoundInput::State::read() {
    ff::PacketPtr packet(av_packet_alloc());
    ff::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return;
    std::vector<uint8_t> converted;
    AVCodecContext* dec = decoder.get();
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stop) return;
        }
        const int rc = av_read_frame(format.get(), packet.get());
        if (rc == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(5ms);
            continue;
        }
        if (rc < 0) {
            warn(QStringLiteral("The sound input stopped: %1").arg(ff::errorText(rc)));
            return;
        }
        if (packet->stream_index == stream && avcodec_send_packet(dec, packet.get()) >= 0) {
            // The packet's last sample was taken a moment ago, its first one a packet's
            // length earlier. The inputs' own time stamps are not used: they subtract
            // latencies that do not hold for every source (a monitor is put hundreds of
            // milliseconds early).
            const int64_t lengthUs =
                packet->duration > 0 ? av_rescale_q(packet->duration, timeBase, {1, 1000000}) : 0;
            int64_t startUs = av_gettime() - lengthUs;
            while (avcodec_receive_frame(dec, frame.get()) >= 0) {
                const int room = swr_get_out_samples(resampler.get(), frame->nb_samples);
                converted.resize(size_t(std::max(room, 0)));
                uint8_t* outPlanes[1] = {converted.data()};
                const int n = swr_convert(resampler.get(), outPlanes, room,
                                          const_cast<const uint8_t**>(frame->extended_data),
                                          frame->nb_samples);
                if (n > 0) append(converted.data(), n, startUs);
                if (frame->sample_rate > 0)
                    startUs += int64_t(frame->nb_samples) * 1000000 / frame->sample_rate;
                av_frame_unref(frame.get());
            }
        }
        av_packet_unref(packet.get());
    }
}

// Sound is placed by its capture time on the wall clock: a gap in the input (silence
// handed out as nothing) becomes silence, and a sound clock that drifts from the wall
// clock is pulled back by silence or by cutting.
void SoundInput::State::append(const uint8_t* samples, int count, int64_t startUs) {
    // A time stamp ahead of the clock is not believed.
    startUs = std::min(startUs, av_gettime());
    const int64_t expected = (startUs - startWallUs) * Rate / 1000000;
    const int64_t drift = expected - produced;
    int64_t pad = 0;
    int skip = 0;
    if (!aligned || drift > Slack || drift < -Slack) {
        if (drift > 0)
            pad = drift;
        else
            skip = int(std::min<int64_t>(-drift, count));
        if (skip < count) aligned = true;
    }
    if (pad == 0 && skip >= count) return;
    produced += pad + (count - skip);
    std::lock_guard lock(mutex);
    buffer.insert(buffer.end(), size_t(pad), Silence);
    buffer.insert(buffer.end(), samples + skip, samples + count);
}

void SoundInput::State::warn(const QString& text) {
    // Under the lock, so no warning is under way once end() has returned.
    std::lock_guard lock(mutex);
    if (!stop && warning) warning(text);
}

} // namespace ostrel
