#pragma once
// Frames in the formats cameras deliver, made by hand from known colours (so the
// conversion is checked against arithmetic, not against FFmpeg itself), written to
// files FFmpeg reads back, and a stream server for sources that fail mid-stream.
#include "capture/CaptureDriver.h"
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QProcess>
#include <array>
#include <cmath>

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
// never decode) until destroyed. A process of its own: the capture code opens the stream
// while the test's thread is blocked in the open.
struct StreamServer {
    enum class End { Reset, Silence, Garbage };

    StreamServer(const QByteArray& data, End end) {
        process.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(Script), QString::number(int(end))});
        process.write(data.toBase64() + "\n");
        process.waitForBytesWritten(10000);
        process.waitForReadyRead(10000);
        url =
            QStringLiteral("tcp://127.0.0.1:") + QString::fromLatin1(process.readLine().trimmed());
    }
    // Called once the reader has shown a picture of the stream.
    void end() {
        process.write("end\n");
        process.waitForBytesWritten(10000);
    }

    QProcess process; // killed with the object
    QString url;

private:
    // A reset closes with RST, as a peer that failed does; the junk is a picture 0 pixels wide.
    static constexpr char Script[] = R"(import base64, socket, struct, sys, time
data = base64.b64decode(sys.stdin.readline())
end = int(sys.argv[1])
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
client, _ = listener.accept()
client.sendall(data)
sys.stdin.readline()
if end == 0:
    client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    client.close()
while True:
    if end == 2:
        try:
            client.send(bytes.fromhex("ffd8ffc0000b080008000001011100ffd9"), socket.MSG_DONTWAIT)
        except OSError:
            pass
    time.sleep(0.02)
)";
};

} // namespace ostrel::test
