#include "platform/PictureLoading.h"
#include "platform/Exception.h"

#include <QFile>
#include <QtEndian>
#include <memory>
#include <turbojpeg.h>

namespace ostrel {
namespace {

struct TjHandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleCloser>;

// Larger pictures than this are refused rather than allocated: 16384 x 16384 x 4 bytes
// is already 1 GiB.
constexpr int MaxSide = 16384;

bool looksLikeJpeg(const QByteArray& bytes) {
    return bytes.size() >= 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8 &&
           uchar(bytes[2]) == 0xFF;
}

// The smallest DCT-scaled size that still covers `fitting` in both directions.
tjscalingfactor scalingFor(int width, int height, QSize fitting) {
    tjscalingfactor best{1, 1};
    if (fitting.isEmpty()) return best;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom) continue; // never enlarge
        const int w = TJSCALED(width, f), h = TJSCALED(height, f);
        if (w < fitting.width() || h < fitting.height()) continue;
        if (w < TJSCALED(width, best)) best = f;
    }
    return best;
}

} // namespace

QImage decodeJpeg(const QByteArray& bytes, QSize fitting, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QImage();
    };
    const TjHandle handle(tjInitDecompress());
    if (!handle) return fail(QString::fromLocal8Bit(tjGetErrorStr2(nullptr)));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling,
                            &colourspace) != 0)
        return fail(QString::fromLocal8Bit(tjGetErrorStr2(handle.get())));
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide)
        return fail(QStringLiteral("the picture is %1 x %2 pixels").arg(width).arg(height));
    // Every 8 x 8 block costs at least a bit, so no real file holds more than 512 pixels
    // a byte; a header that claims more would only make us allocate for nothing.
    if (qint64(width) * height > qint64(bytes.size()) * 1024)
        return fail(QStringLiteral("the file is too short for a picture of %1 x %2 pixels")
                        .arg(width)
                        .arg(height));

    const tjscalingfactor f = scalingFor(width, height, fitting);
    QImage image(TJSCALED(width, f), TJSCALED(height, f), QImage::Format_RGB32);
    if (image.isNull()) return fail(QStringLiteral("not enough memory"));
    // QImage's RGB32 is one 0xffRRGGBB word per pixel, in the machine's byte order.
    constexpr int format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    const int status = tjDecompress2(handle.get(), data, size, image.bits(), image.width(),
                                     int(image.bytesPerLine()), image.height(), format, 0);
    // A warning (a truncated file, say) still leaves a picture worth showing.
    if (status != 0 && tjGetErrorCode(handle.get()) != TJERR_WARNING)
        return fail(QString::fromLocal8Bit(tjGetErrorStr2(handle.get())));
    return image;
}

LoadedPicture loadPicture(const QString& path, QSize fitting) {
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
    if (picture.isJpeg) {
        picture.image = decodeJpeg(picture.bytes, fitting, &why);
    } else if (!picture.image.loadFromData(picture.bytes, "BMP")) {
        // JPEG and Windows bitmaps only: no other image reader sees a file's bytes.
        why = QStringLiteral("it is neither a JPEG picture nor a bitmap");
    }
    if (picture.image.isNull())
        throw Exception(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(path, why));
    return picture;
}

} // namespace ostrel
