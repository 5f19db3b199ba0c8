#pragma once
// Frames in the formats cameras deliver, made by hand from known colours (so the
// conversion is checked against arithmetic, not against FFmpeg itself), written to
// files FFmpeg reads back, and a stream server for sources that fail mid-stream.
#include "capture/CaptureDriver.h"
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cmath>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace ostrel::test {

// Four upright bars, each a quarter of the width.
inline QColor barAt(int x, int width) {
    static const QColor colours[] = {QColor(255, 255, 255), QColor(255, 0, 0), QColor(0, 160, 0),
                                     QColor(0, 0, 255)};
    return colours[std::min(3, x * 4 / width)];
}

// BT.601 with the studio range cameras use for raw formats: Y, U, V of a bar.
inline std::array<char, 3> yuvAt(int x, int width) {
    const QColor c = barAt(x, width);
    const double r = c.red() / 255.0, g = c.green() / 255.0, b = c.blue() / 255.0;
    return {char(std::lround(16 + 65.481 * r + 128.553 * g + 24.966 * b)),
            char(std::lround(128 - 37.797 * r - 74.203 * g + 112.0 * b)),
            char(std::lround(128 + 112.0 * r - 93.786 * g - 18.214 * b))};
}

// Packed 4:2:2, two pixels in four bytes: Y0 U Y1 V (YUYV) or U Y0 V Y1 (UYVY).
inline QByteArray packedFrame(QSize size, bool uyvy) {
    QByteArray data;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); x += 2) {
            const auto [l, u, v] = yuvAt(x, size.width());
            const char yuyvBytes[4] = {l, u, l, v}, uyvyBytes[4] = {u, l, v, l};
            data.append(uyvy ? uyvyBytes : yuyvBytes, 4);
        }
    return data;
}

// 4:2:0: the Y plane, then U and V interleaved (NV12) or as two planes (I420).
inline QByteArray planarFrame(QSize size, bool interleaved) {
    QByteArray luma, cb, cr, chroma;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            luma.append(yuvAt(x, size.width())[0]);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width(); x += 2) {
            const auto [l, u, v] = yuvAt(x, size.width());
            cb.append(u);
            cr.append(v);
            chroma.append(u).append(v);
        }
    return interleaved ? luma + chroma : luma + cb + cr;
}

// One JPEG picture of the bars: a Motion-JPEG stream is these, one after another.
inline QByteArray jpegFrame(QSize size) {
    QImage image(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, barAt(x, size.width()));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return data;
}

// Serves `data` to the first client on 127.0.0.1 and falls silent; once told to end, it
// resets the connection, stays silent, or sends JPEG markers around junk (packets that
// never decode) until destroyed. Runs on its own thread: the capture code opens the
// stream while the test's thread is blocked in the open.
class StreamServer {
public:
    enum class End { Reset, Silence, Garbage };

    StreamServer(QByteArray data, End end) : data_(std::move(data)), end_(end) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        url = QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port));
        thread_ = std::thread([this] { serve(); });
    }
    ~StreamServer() {
        stop_.store(true);
        ::shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }

    // Called once the reader has shown a picture of the stream.
    void end() { ending_.store(true); }

    QString url;

private:
    void serve() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        for (qsizetype sent = 0, n = 0; sent < data_.size() && !stop_.load(); sent += n)
            if ((n = ::send(client, data_.constData() + sent, size_t(data_.size() - sent),
                            MSG_NOSIGNAL)) <= 0)
                break;
        while (!ending_.load() && !stop_.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (end_ == End::Reset) {
            const linger reset{1, 0}; // close with RST, as a peer that failed does
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        // A picture 0 pixels wide: a frame header that no decoder accepts.
        const QByteArray junk = QByteArray::fromHex("ffd8ffc0000b080008000001011100ffd9");
        while (end_ != End::Reset && !stop_.load()) {
            if (end_ == End::Garbage) // never blocks: the reader may have stopped
                ::send(client, junk.constData(), size_t(junk.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(client);
    }

    QByteArray data_;
    End end_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

} // namespace ostrel::test
