#include "picture/PictureLoading.h"
#include "platform/Exception.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace ostrel {
namespace {

// Larger pictures than this are refused rather than allocated: 16384 x 16384 x 4 bytes
// is already 1 GiB.
constexpr int MaxSide = 16384;
// What libjpeg may allocate besides the coefficient buffer: tables and a few rows.
constexpr qint64 WorkingMemory = 32 << 20;

bool looksLikeJpeg(const QByteArray& bytes) {
    return bytes.size() >= 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8 &&
           uchar(bytes[2]) == 0xFF;
}

QString tooManyPixels(qint64 width, qint64 height, const PictureLimits& limits) {
    return QStringLiteral("the picture is %1 x %2 pixels, more than the %3 million allowed")
        .arg(width)
        .arg(height)
        .arg(double(limits.maxPixels) / 1e6, 0, 'f', 1);
}

// One decode's libjpeg state. libjpeg reports a fatal error through `error_exit`, which
// must not return: it jumps back into `runDecode` across libjpeg's own C frames only, and
// this object, owned by the caller, cleans up afterwards.
struct JpegDecode {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf exit{};
    const PictureLimits* limits = nullptr;
    char message[JMSG_LENGTH_MAX] = {};
    QString why; // a refusal of the loader's own, found before decoding began
    bool created = false;

    JpegDecode() = default;
    JpegDecode(const JpegDecode&) = delete;
    JpegDecode& operator=(const JpegDecode&) = delete;
    ~JpegDecode() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

JpegDecode& decodeOf(j_common_ptr info) {
    return *static_cast<JpegDecode*>(info->client_data);
}

[[noreturn]] void jumpOut(j_common_ptr info) {
    JpegDecode& job = decodeOf(info);
    (*info->err->format_message)(info, job.message);
    std::longjmp(job.exit, 1);
}

// Warnings (a cut-off file, a scan out of order) leave a picture worth showing.
void ignoreMessage(j_common_ptr, int) {}

// Called between rows and scans: ends a decode that was cancelled or runs too many scans.
void watchDecode(j_common_ptr info) {
    JpegDecode& job = decodeOf(info);
    const std::atomic<bool>* cancelled = job.limits->cancelled;
    if (cancelled && cancelled->load(std::memory_order_relaxed)) {
        std::snprintf(job.message, sizeof job.message, "the decoding was cancelled");
        std::longjmp(job.exit, 1);
    }
    const int scans = reinterpret_cast<j_decompress_ptr>(info)->input_scan_number;
    if (scans > MaxJpegScans) {
        std::snprintf(job.message, sizeof job.message,
                      "the picture is stored in more than %d scans", MaxJpegScans);
        std::longjmp(job.exit, 1);
    }
}

// The bytes a multi-scan picture's whole-image coefficient buffer takes: one block of
// 64 coefficients for every 8 x 8 samples of every component, rounded up to whole MCUs.
qint64 coefficientBytes(const jpeg_decompress_struct& info) {
    qint64 bytes = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& c = info.comp_info[i];
        const qint64 across =
            (qint64(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
        const qint64 down =
            (qint64(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
        bytes += across * down * qint64(sizeof(JBLOCK));
    }
    return bytes;
}

// Every step that may end in a jump back to the setjmp below. Nothing with a destructor
// is constructed in this frame after it, so the jump skips no clean-up.
bool runDecode(JpegDecode& job, const QByteArray& bytes, QSize fitting, QImage& image) {
    if (setjmp(job.exit)) return false;
    jpeg_create_decompress(&job.info);
    job.created = true;
    job.info.mem->max_memory_to_use = MaxCoefficientBytes + WorkingMemory;
    job.progress.progress_monitor = watchDecode;
    job.info.progress = &job.progress;
    jpeg_mem_src(&job.info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&job.info, TRUE);

    const qint64 width = job.info.image_width, height = job.info.image_height;
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        job.why = QStringLiteral("the picture is %1 x %2 pixels").arg(width).arg(height);
        return false;
    }
    // Every 8 x 8 block costs at least a bit, so no real file holds more than 512 pixels
    // a byte; a header that claims more would only make us allocate for nothing.
    if (width * height > qint64(bytes.size()) * 1024) {
        job.why = QStringLiteral("the file is too short for a picture of %1 x %2 pixels")
                      .arg(width)
                      .arg(height);
        return false;
    }
    if (width * height > job.limits->maxPixels) {
        job.why = tooManyPixels(width, height, *job.limits);
        return false;
    }
    // A progressive (or otherwise multi-scan) picture is gathered whole before any row
    // comes out; refuse before allocating rather than half way.
    if (jpeg_has_multiple_scans(&job.info)) {
        const qint64 needed = coefficientBytes(job.info);
        if (needed > MaxCoefficientBytes) {
            job.why = QStringLiteral("decoding the picture would take %1 MiB of memory, more "
                                     "than the %2 MiB allowed")
                          .arg((needed + (1 << 20) - 1) >> 20)
                          .arg(MaxCoefficientBytes >> 20);
            return false;
        }
    }

    // The smallest DCT-scaled size (n/8, never enlarged) that still covers `fitting`.
    if (!fitting.isEmpty()) {
        for (unsigned n = 1; n <= 8; ++n) {
            job.info.scale_num = n;
            job.info.scale_denom = 8;
            jpeg_calc_output_dimensions(&job.info);
            if (int(job.info.output_width) >= fitting.width() &&
                int(job.info.output_height) >= fitting.height())
                break;
        }
    }
    // QImage's RGB32 is one 0xffRRGGBB word per pixel, in the machine's byte order.
    job.info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_start_decompress(&job.info);
    image = QImage(int(job.info.output_width), int(job.info.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        job.why = QStringLiteral("not enough memory");
        return false;
    }
    while (job.info.output_scanline < job.info.output_height) {
        JSAMPROW row = image.scanLine(int(job.info.output_scanline));
        if (jpeg_read_scanlines(&job.info, &row, 1) != 1) break;
    }
    // Whatever follows the last row (more scans, trailing bytes) is not read.
    return true;
}

QImage decodeBitmap(const QByteArray& bytes, const PictureLimits& limits, QString& why) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // JPEG and Windows bitmaps only: no other image reader sees a file's bytes.
    QImageReader reader(&buffer, "BMP");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > limits.maxPixels) {
        why = tooManyPixels(size.width(), size.height(), limits);
        return {};
    }
    QImage image;
    if (!reader.read(&image)) why = QStringLiteral("it is neither a JPEG picture nor a bitmap");
    return image;
}

} // namespace

QImage decodeJpeg(const QByteArray& bytes, QSize fitting, QString* error,
                  const PictureLimits& limits) {
    JpegDecode job;
    job.info.err = jpeg_std_error(&job.errors);
    job.errors.error_exit = jumpOut;
    job.errors.emit_message = ignoreMessage;
    job.info.client_data = &job;
    job.limits = &limits;
    QImage image;
    if (runDecode(job, bytes, fitting, image)) return image;
    if (error) *error = job.why.isEmpty() ? QString::fromLocal8Bit(job.message) : job.why;
    return {};
}

LoadedPicture loadPicture(const QString& path, QSize fitting, const PictureLimits& limits) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    if (file.size() > MaxPictureFileSize)
        throw Exception(QStringLiteral("The picture \"%1\" is too large to show").arg(path));
    LoadedPicture picture;
    picture.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(
            QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));

    QString why;
    picture.isJpeg = looksLikeJpeg(picture.bytes);
    picture.image = picture.isJpeg ? decodeJpeg(picture.bytes, fitting, &why, limits)
                                   : decodeBitmap(picture.bytes, limits, why);
    if (picture.image.isNull())
        throw Exception(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(path, why));
    return picture;
}

} // namespace ostrel
