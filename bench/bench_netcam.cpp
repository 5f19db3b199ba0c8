// The network camera: how far behind the camera the picture shown is, and the CPU time
// per frame of its pipeline next to the ffmpeg program decoding the same stream to BGR.
// The camera is an HTTP MJPEG server in this process sending numbered 640 x 480 pictures
// at 15 frames per second; each picture carries its number as a row of black and white
// blocks, read back from the frame shown.
#include "CpuTime.h"
#include "capture/CaptureSession.h"
#include "capture/NetworkCamera.h"
#include "capture/VideoCapture.h"

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace ostrel::bench;

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int Rate = 15;
constexpr int Numbers = 64; // distinct pictures, sent in turn
constexpr int Bits = 6;
constexpr int Block = 64;

QByteArray numberedPicture(int number) {
    QImage image(Width, Height, QImage::Format_RGB888);
    image.fill(QColor(120, 130, 110));
    QPainter painter(&image);
    for (int bit = 0; bit < Bits; ++bit)
        painter.fillRect(bit * Block + 16, 16, Block, Block,
                         number >> bit & 1 ? Qt::white : Qt::black);
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return jpeg;
}

// The number a frame shows; `frame` holds 24-bit pixels, either byte order.
int readNumber(const QImage& frame) {
    if (frame.width() != Width || frame.height() != Height) return -1;
    int number = 0;
    for (int bit = 0; bit < Bits; ++bit) {
        const uchar* p = frame.constScanLine(16 + Block / 2) + (bit * Block + 16 + Block / 2) * 3;
        if (p[0] > 128) number |= 1 << bit;
    }
    return number;
}

// Serves every client the numbered pictures in turn at Rate, all clients the same
// picture at the same time; remembers when each number was last sent.
class MjpegCamera {
public:
    MjpegCamera() {
        for (int i = 0; i < Numbers; ++i)
            pictures_[i] = numberedPicture(i);
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        accepter_ = std::thread([this] { accept(); });
        sender_ = std::thread([this] { send(); });
    }
    ~MjpegCamera() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        accepter_.join();
        sender_.join();
        ::close(listener_);
        for (int c : clients_)
            ::close(c);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/video").arg(port_); }
    Clock::time_point sentAt(int number) const {
        return Clock::time_point(Clock::duration(sent_[number].load()));
    }
    // The CPU time the sending has taken, in seconds: the camera's, not the reader's, though
    // it is spent in this process (loopback sends also do much of the receiving's work).
    double senderCpuSeconds() const { return double(senderCpuNs_.load()) / 1e9; }

private:
    void accept() {
        while (!stop_) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) return;
            char request[2048];
            (void)::recv(client, request, sizeof request,
                         0); // the GET; its content does not matter
            const char header[] =
                "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n";
            ::send(client, header, sizeof header - 1, MSG_NOSIGNAL);
            std::lock_guard lock(mutex_);
            clients_.push_back(client);
        }
    }
    void send() {
        auto next = Clock::now();
        for (int n = 0; !stop_; ++n) {
            std::this_thread::sleep_until(next);
            next += std::chrono::microseconds(1000000 / Rate);
            const int number = n % Numbers;
            const QByteArray& jpeg = pictures_[number];
            const QByteArray part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                    QByteArray::number(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n";
            sent_[number].store(Clock::now().time_since_epoch().count());
            std::lock_guard lock(mutex_);
            for (int& c : clients_)
                if (c >= 0 && ::send(c, part.constData(), size_t(part.size()), MSG_NOSIGNAL) < 0) {
                    ::close(c);
                    c = -1;
                }
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            senderCpuNs_.store(qint64(t.tv_sec) * 1000000000 + t.tv_nsec);
        }
    }

    std::array<QByteArray, Numbers> pictures_;
    std::array<std::atomic<Clock::rep>, Numbers> sent_{};
    std::atomic<qint64> senderCpuNs_{0};
    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<int> clients_;
    std::thread accepter_;
    std::thread sender_;
};

// The ffmpeg program's CPU time for `frames` frames of the stream to bgr24; negative when
// it did not run.
double ffmpegCpuSeconds(const QString& url, int frames) {
    return childCpuSeconds({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", url, "-frames:v",
                            QString::number(frames), "-pix_fmt", "bgr24", "-f", "null", "-"});
}

// From the camera's send to the frame shown in the capture widget, at the preview rate
// given; median and 95th percentile over 10 s.
void BM_NetworkCameraLatency(benchmark::State& state) {
    MjpegCamera camera;
    QTemporaryDir folder;
    const QString path = folder.path() + QLatin1Char('/');
    ostrel::NetworkCamera::writeSettings(path, {camera.url(), "TCP", {}, {}, {}});
    std::vector<double> latencies;
    for (auto _ : state) {
        ostrel::TVideoCapture video(ostrel::systemDrivers(path, nullptr), path);
        video.setDriverIndex(1);
        video.setPreviewRate(int(state.range(0)));
        video.resize(Width, Height);
        QObject::connect(&video, &ostrel::TVideoCapture::frameShown, [&] {
            const int number = readNumber(video.displayedFrame());
            if (number < 0) return;
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - camera.sentAt(number))
                    .count());
        });
        video.setDriverOpen(true);
        video.setVideoPreview(true);
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (latencies.size() < 20) {
        state.SkipWithError("too few frames shown");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
    state.counters["frames"] = double(latencies.size());
}
BENCHMARK(BM_NetworkCameraLatency)
    ->ArgName("preview_rate")
    ->Arg(15)
    ->Arg(30)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// CPU time per frame once running: the pipeline (HTTP, demuxer, decoder, conversion to
// 24-bit BGR) over 150 frames of the live stream after its first 15, next to the ffmpeg
// program for the same frames without its start-up (a run of the first 15 subtracted).
void BM_NetworkCameraCpuVsFfmpeg(benchmark::State& state) {
    MjpegCamera camera;
    constexpr int Skipped = 15;
    constexpr int Frames = 150;
    double pipeline = 0, ffmpeg = 0;
    for (auto _ : state) {
        ostrel::NetworkCameraSettings s;
        s.url = camera.url();
        QString why;
        auto session = ostrel::CaptureSession::open(ostrel::NetworkCamera::sourceFor(s), &why);
        session->start({});
        auto waitFor = [&](int frames) {
            // Seldom: this thread's own wake-ups count as the pipeline's time.
            while (session->framesConverted() < frames && !session->ended())
                std::this_thread::sleep_for(50ms);
            return processCpuSeconds() - camera.senderCpuSeconds();
        };
        const double start = waitFor(Skipped);
        pipeline += waitFor(Skipped + Frames) - start;
        session.reset();
        const double all = ffmpegCpuSeconds(camera.url(), Skipped + Frames);
        const double first = ffmpegCpuSeconds(camera.url(), Skipped);
        if (all < 0 || first < 0) {
            state.SkipWithError("the ffmpeg program failed");
            return;
        }
        ffmpeg += all - first;
    }
    const double n = double(Frames) * double(state.iterations());
    state.counters["pipeline_ms_per_frame"] = pipeline / n * 1e3;
    state.counters["ffmpeg_ms_per_frame"] = ffmpeg / n * 1e3;
    state.counters["ratio"] = pipeline / ffmpeg;
}
BENCHMARK(BM_NetworkCameraCpuVsFfmpeg)->Iterations(3)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return ostrel::bench::runWithApplication(argc, argv);
}
