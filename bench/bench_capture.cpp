// Per-frame costs of the capture path: the colour conversion on the capture thread and
// the bitmap file round trip every grab-and-save makes (Capture.bmp, temp00.bmp).
#include "capture/Bitmap.h"
#include "capture/Ffmpeg.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

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

BENCHMARK_MAIN();
