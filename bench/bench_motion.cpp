// Speed of the motion check and of the JPEG export, at the three usual capture sizes:
//   FrameSum / Memcpy      the pixel walk against a plain copy of the same frame
//   MotionCheck            grab, bitmap write, load, sum and delete, as a check does it
//   EncodeJpeg             compression alone (compare with tjbench: bench/run_tjbench.sh)
//   SaveBitmapAsJpeg       bitmap file to JPEG file, load and atomic write included
// The pure computations are timed in CPU time, which other load on the machine disturbs
// least; the two that write files in real time, since their disk waits are part of the cost.
// MotionCheck runs in repetitions and reports their median, mean and spread: one slow disk
// wait must not decide the figure.
// `bench_motion --dump-frames DIR` writes the test frames as bitmaps and exits, for tjbench.
#include "capture/VideoCapture.h"
#include "motion/MotionDetector.h"
#include "picture/Bitmap.h"
#include "picture/JpegExport.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

using namespace ostrel;

namespace {

struct Size {
    int width;
    int height;
};
constexpr Size Sizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};

// lavfi's test pattern at one size: colour bars, gradients and a counter, a picture with
// edges and flat parts like a camera's.
class TestPatternDriver : public CaptureDriver {
public:
    explicit TestPatternDriver(Size size) : size_(size) {}
    DriverDescription description() const override {
        return {QStringLiteral("Test Pattern"), QStringLiteral("1.0")};
    }
    DriverCaps caps() const override { return {}; }
    SourceSpec source() const override {
        SourceSpec spec;
        spec.inputFormat = QStringLiteral("lavfi");
        spec.url = QStringLiteral("testsrc=size=%1x%2:rate=30").arg(size_.width).arg(size_.height);
        return spec;
    }

private:
    Size size_;
};

class OneDriver : public DriverRegistry {
public:
    explicit OneDriver(std::shared_ptr<CaptureDriver> d) : driver_(std::move(d)) {}
    std::shared_ptr<CaptureDriver> driver(int index) override {
        return index == 0 ? driver_ : nullptr;
    }

private:
    std::shared_ptr<CaptureDriver> driver_;
};

QString sizeName(Size s) {
    return QStringLiteral("%1x%2").arg(s.width).arg(s.height);
}

// An open device per size, kept for the whole run.
struct Camera {
    Size size;
    std::unique_ptr<TVideoCapture> device;
    QImage frame;
};

std::unique_ptr<Camera> openCamera(Size size, const QString& folder) {
    auto camera = std::make_unique<Camera>();
    camera->size = size;
    camera->device = std::make_unique<TVideoCapture>(
        std::make_shared<OneDriver>(std::make_shared<TestPatternDriver>(size)), folder);
    camera->device->setDriverIndex(0);
    camera->device->setDriverOpen(true);
    if (!camera->device->GrabFrameLive())
        qFatal("No frame from the %s test pattern", qPrintable(sizeName(size)));
    camera->frame = camera->device->lastGrabbedFrame();
    // Closed until a benchmark needs it live: the capture threads of idle cameras would
    // take processor time from the one measured, which the program, with one camera,
    // does not see.
    camera->device->setDriverOpen(false);
    return camera;
}

void setPixelRate(benchmark::State& state, Size s) {
    state.counters["MP/s"] = benchmark::Counter(
        double(s.width) * s.height * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) qFatal("No temporary folder");
    const QString folder = dir.path() + QLatin1Char('/');

    std::vector<std::unique_ptr<Camera>> cameras;
    for (Size s : Sizes)
        cameras.push_back(openCamera(s, folder));

    if (argc == 3 && std::strcmp(argv[1], "--dump-frames") == 0) {
        for (const auto& c : cameras)
            bitmap::save(QDir(QString::fromLocal8Bit(argv[2]))
                             .filePath(QStringLiteral("frame_%1.bmp").arg(sizeName(c->size))),
                         c->frame);
        return 0;
    }

    for (const auto& c : cameras) {
        Camera* camera = c.get();
        const std::string name = sizeName(camera->size).toStdString();
        const qsizetype bytes = camera->frame.sizeInBytes();

        benchmark::RegisterBenchmark(
            ("FrameSum/" + name).c_str(), [camera, bytes](benchmark::State& state) {
                const QImage& f = camera->frame;
                for (auto _ : state)
                    benchmark::DoNotOptimize(
                        frameSum(f.constBits(), f.width(), f.height(), int(f.bytesPerLine())));
                state.SetBytesProcessed(state.iterations() * bytes);
            });
        benchmark::RegisterBenchmark(
            ("Memcpy/" + name).c_str(), [camera, bytes](benchmark::State& state) {
                std::vector<uchar> copy(static_cast<size_t>(bytes));
                for (auto _ : state) {
                    std::memcpy(copy.data(), camera->frame.constBits(), size_t(bytes));
                    benchmark::ClobberMemory();
                }
                state.SetBytesProcessed(state.iterations() * bytes);
            });
        benchmark::RegisterBenchmark(("MotionCheck/" + name).c_str(),
                                     [camera, folder](benchmark::State& state) {
                                         MotionDetector detector;
                                         camera->device->setDriverOpen(true);
                                         camera->device->GrabFrameLive(); // the first frame
                                         for (auto _ : state)
                                             benchmark::DoNotOptimize(
                                                 detector.check(*camera->device, folder, 100, 0));
                                         camera->device->setDriverOpen(false);
                                         setPixelRate(state, camera->size);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(7)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("EncodeJpeg/" + name).c_str(), [camera](
                                                                         benchmark::State& state) {
            for (auto _ : state)
                benchmark::DoNotOptimize(encodeJpeg(camera->frame));
            setPixelRate(state, camera->size);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("SaveBitmapAsJpeg/" + name).c_str(),
                                     [camera, folder](benchmark::State& state) {
                                         const QString source =
                                             folder + QStringLiteral("Capture.bmp");
                                         const QString target =
                                             folder + QStringLiteral("Capture.jpg");
                                         bitmap::save(source, camera->frame);
                                         for (auto _ : state)
                                             SaveBitmapAsJpeg(source, target);
                                         setPixelRate(state, camera->size);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    cameras.clear(); // close the devices before the application goes
    return 0;
}
