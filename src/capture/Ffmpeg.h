#pragma once
// Owners for the FFmpeg handles of the capture code, so every context, frame and packet is
// freed on every path, including early returns on errors.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}
#include <QString>
#include <memory>

namespace ostrel::ff {

struct FormatContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

struct SwrContextDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
// An output context: freed, not closed (its file output is the caller's own).
struct OutputContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_free_context(p); }
};
// An I/O context over the caller's own callbacks, with its buffer.
struct CustomIoDeleter {
    void operator()(AVIOContext* p) const {
        av_freep(&p->buffer);
        avio_context_free(&p);
    }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using CustomIoPtr = std::unique_ptr<AVIOContext, CustomIoDeleter>;

// An option dictionary; FFmpeg functions that consume it take the address of `raw`.
class Dictionary {
public:
    Dictionary() = default;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() { av_dict_free(&raw); }
    AVDictionary* raw = nullptr;
};

// FFmpeg's own text for an error code.
inline QString errorText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return QString::fromUtf8(buffer);
}

// The text of a failed FFmpeg call: which step failed, then FFmpeg's reason.
inline QString stepError(const QString& step, int code) {
    return QStringLiteral("%1 failed: %2").arg(step, errorText(code));
}

} // namespace ostrel::ff
