// Per-frame costs of the capture path: the colour conversion on the capture thread, the
// whole pipeline (read, decode, convert) next to the ffmpeg program doing the same work,
// the bitmap file round trip every grab-and-save makes (Capture.bmp, temp00.bmp), and the
// time from start to the first live frame shown.
#include "CpuTime.h"
#include "capture/CaptureDriver.h"
#include "capture/CaptureSession.h"
#include "capture/Ffmpeg.h"
#include "capture/Recorder.h"
#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <thread>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

using namespace std::chrono_literals;
using namespace ostrel::bench;

QImage cameraFrame(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar(x ^ y);
    }
    return image;
}

// YUV 4:2:0 (what cameras and the virtual camera deliver) to 24-bit BGR.
void BM_ConvertToBgr(benchmark::State& state) {
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    ostrel::ff::FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        state.SkipWithError("no frame buffer");
        return;
    }
    for (int plane = 0; plane < 3; ++plane)
        memset(frame->data[plane], 100 + plane * 20,
               size_t(frame->linesize[plane]) * size_t(plane ? height / 2 : height));
    ostrel::ff::SwsContextPtr scaler(sws_getContext(width, height, AV_PIX_FMT_YUV420P, width,
                                                    height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                                    nullptr, nullptr));
    for (auto _ : state) {
        QImage image(width, height, QImage::Format_BGR888);
        uint8_t* const dst[4] = {image.bits(), nullptr, nullptr, nullptr};
        const int stride[4] = {int(image.bytesPerLine()), 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, dst, stride);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertToBgr)->Args({640, 480})->Args({1280, 720});

// ---- the pipeline next to ffmpeg ---------------------------------------------------------

constexpr int PipelineFrames = 300;

// What a camera sends, made once per run by the ffmpeg program: Motion-JPEG (4:2:2, as
// webcams encode it) or raw packed YUYV.
struct CameraStream {
    QString file;
    QString demuxer;         // for the pipeline and for ffmpeg alike
    QStringList demuxerArgs; // ffmpeg's spelling of the demuxer options
    ostrel::SourceSpec spec;
};

QTemporaryDir& streamFolder() {
    static QTemporaryDir dir;
    return dir;
}

bool makeStream(int width, int height, bool mjpeg, CameraStream* out) {
    const QString size = QStringLiteral("%1x%2").arg(width).arg(height);
    out->file = QDir(streamFolder().path())
                    .filePath(QStringLiteral("%1.%2").arg(size, mjpeg ? "mjpeg" : "yuyv"));
    out->demuxer = mjpeg ? QStringLiteral("mjpeg") : QStringLiteral("rawvideo");
    out->spec.inputFormat = out->demuxer;
    out->spec.url = out->file;
    out->spec.paced = true; // as fast as it decodes: the cost, not the camera's rate
    if (mjpeg) {
        out->demuxerArgs = {"-framerate", "30"};
        out->spec.options = {{"framerate", "30"}};
    } else {
        out->demuxerArgs = {"-pixel_format", "yuyv422", "-video_size", size, "-framerate", "30"};
        out->spec.options = {
            {"pixel_format", "yuyv422"}, {"video_size", size}, {"framerate", "30"}};
    }
    if (QFile::exists(out->file)) return true;
    QStringList args{"ffmpeg",
                     "-nostdin",
                     "-hide_banner",
                     "-loglevel",
                     "error",
                     "-f",
                     "lavfi",
                     "-i",
                     QStringLiteral("testsrc2=size=%1:rate=30").arg(size),
                     "-frames:v",
                     QString::number(PipelineFrames)};
    if (mjpeg)
        args << "-pix_fmt"
             << "yuvj422p"
             << "-c:v"
             << "mjpeg"
             << "-q:v"
             << "4"
             << "-f"
             << "mjpeg";
    else
        args << "-pix_fmt"
             << "yuyv422"
             << "-f"
             << "rawvideo";
    args << "-y" << out->file;
    return childCpuSeconds(args) >= 0;
}

// CPU time per frame of the capture pipeline (demuxer, decoder, conversion to 24-bit BGR
// into a fresh image), and of the ffmpeg program decoding the same stream to bgr24 for the
// same number of frames: in all, and without its start-up (a one-frame run subtracted).
void BM_PipelineVsFfmpeg(benchmark::State& state) {
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    const bool mjpeg = state.range(2) == 0;
    CameraStream stream;
    if (!makeStream(width, height, mjpeg, &stream)) {
        state.SkipWithError("the ffmpeg program could not make the stream");
        return;
    }
    double pipelineCpu = 0;
    double ffmpegCpu = 0;
    double ffmpegStartup = 0;
    qint64 frames = 0;
    for (auto _ : state) {
        const double start = processCpuSeconds();
        QString why;
        std::unique_ptr<ostrel::CaptureSession> session =
            ostrel::CaptureSession::open(stream.spec, &why);
        if (!session) {
            state.SkipWithError(qPrintable(why));
            return;
        }
        session->start({});
        while (!session->ended())
            std::this_thread::sleep_for(2ms);
        const qint64 converted = session->framesConverted();
        session.reset();
        pipelineCpu += processCpuSeconds() - start;
        frames += converted;

        auto ffmpeg = [&](qint64 count) {
            QStringList args{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                             "error",  "-f",       stream.demuxer};
            args << stream.demuxerArgs << "-i" << stream.file << "-frames:v"
                 << QString::number(count) << "-pix_fmt"
                 << "bgr24"
                 << "-f"
                 << "null"
                 << "-";
            return childCpuSeconds(args);
        };
        const double child = ffmpeg(converted);
        // One frame: the program's start-up and teardown, which the pipeline, living in
        // the program, does not pay per run.
        const double oneFrame = ffmpeg(1);
        if (child < 0 || oneFrame < 0) {
            state.SkipWithError("the ffmpeg program failed");
            return;
        }
        ffmpegCpu += child;
        ffmpegStartup += oneFrame;
    }
    if (frames <= state.iterations()) return;
    const double perFrame = pipelineCpu / double(frames) * 1e3;
    const double ffmpegPerFrame = ffmpegCpu / double(frames) * 1e3;
    const double ffmpegMarginal =
        (ffmpegCpu - ffmpegStartup) / double(frames - state.iterations()) * 1e3;
    state.counters["pipeline_ms_per_frame"] = perFrame;
    state.counters["ffmpeg_ms_per_frame"] = ffmpegPerFrame;
    state.counters["ffmpeg_marginal_ms_per_frame"] = ffmpegMarginal;
    state.counters["ratio"] = perFrame / ffmpegPerFrame;
    state.counters["ratio_marginal"] = perFrame / ffmpegMarginal;
    state.counters["frames"] = double(frames) / double(state.iterations());
}
BENCHMARK(BM_PipelineVsFfmpeg)
    ->ArgNames({"w", "h", "yuyv"})
    ->Args({640, 480, 0})
    ->Args({1280, 720, 0})
    ->Args({640, 480, 1})
    ->Args({1280, 720, 1})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// ---- start to the first live frame -------------------------------------------------------

// The capture widget on the virtual camera: preview switched on to the first frame shown.
void BM_OpenToFirstFrame(benchmark::State& state) {
    QTemporaryDir folder;
    for (auto _ : state) {
        ostrel::TVideoCapture video(ostrel::systemDrivers(folder.path()), folder.path());
        video.setDriverIndex(0);
        video.setPreviewRate(15);
        bool shown = false;
        QObject::connect(&video, &ostrel::TVideoCapture::frameShown, [&] { shown = true; });
        QElapsedTimer clock;
        clock.start();
        video.setVideoPreview(true);
        while (!shown && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!shown) state.SkipWithError("no frame within 10 s");
    }
}
BENCHMARK(BM_OpenToFirstFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

bool copyFolder(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(source));
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target)) return false;
        QFile::setPermissions(target, QFile(source).permissions());
    }
    return true;
}

// The whole program from a copy of its folder (virtual camera chosen, no wizard) under
// the offscreen platform: from starting the process to its first live frame shown.
void BM_ProgramStartToFirstFrame(benchmark::State& state) {
    const QString programDir = QStringLiteral(OSTREL_PROGRAM_DIR);
    if (!QFile::exists(QDir(programDir).filePath(QStringLiteral("ostrel")))) {
        state.SkipWithError("build the ostrel program first");
        return;
    }
    QTemporaryDir copy;
    if (!copyFolder(programDir, copy.path())) {
        state.SkipWithError("could not copy the program folder");
        return;
    }
    auto write = [&](const char* name, const QByteArray& text) {
        QFile f(QDir(copy.path()).filePath(QString::fromLatin1(name)));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    for (auto _ : state) {
        if (!write("vcap.sif", "[Driver]\r\nindex=0\r\n") ||
            !write("Ostrel.sif", "[Other Settings]\r\nFirstRun=0\r\n")) {
            state.SkipWithError("could not prepare the settings");
            return;
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("OSTREL_FIRST_FRAME_NOTICE"), QStringLiteral("1"));
        program.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        program.setReadChannel(QProcess::StandardError);
        program.start(QDir(copy.path()).filePath(QStringLiteral("ostrel")), {});
        QByteArray errors;
        bool shown = false;
        while (!shown && clock.elapsed() < 30000 && program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(100);
            errors += program.readAllStandardError();
            shown = errors.contains("ostrel: first live frame shown");
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        program.terminate(); // SIGTERM: the normal close sequence
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished(2000);
        }
        if (!shown) {
            state.SkipWithError(("no live frame: " + errors.right(300)).constData());
            return;
        }
    }
}
BENCHMARK(BM_ProgramStartToFirstFrame)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// ---- recording ---------------------------------------------------------------------------

// A minute of recording at 1280x720 and 30 frames a second from the virtual camera playing a
// Motion-JPEG file, with the live display on at the main window's 15 frames a second: CPU
// time per recorded frame (the whole process, and above what the live display alone
// costs), frames dropped, and the display's rate before and during the recording; next to
// the ffmpeg program recording the same file in real time with the same codec and quality.
void BM_RecordingVsFfmpeg(benchmark::State& state) {
    const int seconds = int(state.range(0));
    const QString folder = streamFolder().path();
    const QString source = QDir(folder).filePath(QStringLiteral("camera720.avi"));
    if (!QFile::exists(source) &&
        childCpuSeconds({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                         "testsrc2=size=1280x720:rate=30", "-t", "10", "-pix_fmt", "yuvj420p",
                         "-c:v", "mjpeg", "-q:v", "4", "-y", source}) < 0) {
        state.SkipWithError("the ffmpeg program could not make the source");
        return;
    }
    QFile vcap(QDir(folder).filePath(QStringLiteral("vcap.sif")));
    if (!vcap.open(QIODevice::WriteOnly) ||
        vcap.write("[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nSource=camera720.avi\r\n") < 0) {
        state.SkipWithError("could not write vcap.sif");
        return;
    }
    vcap.close();
    for (auto _ : state) {
        ostrel::TVideoCapture video(ostrel::systemDrivers(folder), folder);
        video.resize(640, 480);
        video.show();
        video.setDriverIndex(0);
        video.setPreviewRate(15);
        video.setPreviewScaleToWindow(true);
        video.setVideoPreview(true);
        video.setFrameRate(30);
        video.setVideoFileName(QStringLiteral("recorded.avi"));
        int shown = 0;
        QObject::connect(&video, &ostrel::TVideoCapture::frameShown, [&] { ++shown; });
        QString ended;
        QObject::connect(&video, &ostrel::TVideoCapture::OnStatusCallback,
                         [&](int n, const QString& text) {
                             if (n == ostrel::CapStatusCaptureEnds) ended = text;
                         });
        // The event loop as the program runs it: asleep between events.
        auto run = [&](int ms) {
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        };
        run(2000); // settle
        shown = 0;
        double cpu = processCpuSeconds();
        run(10000);
        const double displayCpuPerSecond = (processCpuSeconds() - cpu) / 10;
        const double displayRate = shown / 10.0;

        shown = 0;
        cpu = processCpuSeconds();
        if (!video.StartRecording()) {
            state.SkipWithError("the recording did not start");
            return;
        }
        run(seconds * 1000);
        video.StopRecording();
        const double recordingCpu = processCpuSeconds() - cpu;
        const double recordingRate = shown / double(seconds);
        // "Recording ended: N frames recorded, D dropped, S s"
        const QStringList words = ended.split(QLatin1Char(' '));
        const double frames = words.size() > 5 ? words[2].toDouble() : 0;
        const double dropped = words.size() > 5 ? words[5].toDouble() : -1;
        if (frames <= 0) {
            state.SkipWithError(qPrintable("no recording: " + ended));
            return;
        }

        const double ffmpegCpu = childCpuSeconds(
            {"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-stream_loop", "-1", "-i", source,
             "-t", QString::number(seconds), "-an", "-c:v", "mjpeg", "-q:v",
             QString::number(ostrel::Recorder::qscale(video.CompressionQuality())), "-y",
             QDir(folder).filePath(QStringLiteral("ffmpeg.avi"))});
        if (ffmpegCpu < 0) {
            state.SkipWithError("the ffmpeg program failed");
            return;
        }
        const double perFrame = recordingCpu / frames * 1e3;
        const double aboveDisplay = (recordingCpu - displayCpuPerSecond * seconds) / frames * 1e3;
        const double ffmpegPerFrame = ffmpegCpu / (30.0 * seconds) * 1e3;
        state.counters["frames"] = frames;
        state.counters["dropped"] = dropped;
        state.counters["ms_per_frame"] = perFrame;
        state.counters["ms_per_frame_above_display"] = aboveDisplay;
        state.counters["ffmpeg_ms_per_frame"] = ffmpegPerFrame;
        state.counters["ratio"] = perFrame / ffmpegPerFrame;
        state.counters["ratio_above_display"] = aboveDisplay / ffmpegPerFrame;
        state.counters["display_fps_before"] = displayRate;
        state.counters["display_fps_recording"] = recordingRate;
    }
}
BENCHMARK(BM_RecordingVsFfmpeg)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

// ---- bitmap files ------------------------------------------------------------------------

void BM_EncodeBitmap(benchmark::State& state) {
    const QImage frame = cameraFrame(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ostrel::bitmap::encode(frame));
    state.SetBytesProcessed(state.iterations() * frame.sizeInBytes());
}
BENCHMARK(BM_EncodeBitmap)->Args({640, 480})->Args({1280, 720});

void BM_DecodeBitmap(benchmark::State& state) {
    const QByteArray file =
        ostrel::bitmap::encode(cameraFrame(int(state.range(0)), int(state.range(1))));
    for (auto _ : state)
        benchmark::DoNotOptimize(ostrel::bitmap::decode(file));
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(BM_DecodeBitmap)->Args({640, 480})->Args({1280, 720});

// The grab-save-load-delete cycle of one motion check, on disk.
void BM_SaveAndLoadFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("temp00.bmp"));
    const QImage frame = cameraFrame(640, 480);
    for (auto _ : state) {
        ostrel::bitmap::save(name, frame);
        benchmark::DoNotOptimize(ostrel::bitmap::load(name));
        QFile::remove(name);
    }
}
BENCHMARK(BM_SaveAndLoadFile);

} // namespace

int main(int argc, char** argv) {
    return ostrel::bench::runWithApplication(argc, argv);
}
