#include "picture/JpegExport.h"

#include "picture/Bitmap.h"
#include "platform/Exception.h"
#include "platform/FileWrites.h"

#include <memory>
#include <turbojpeg.h>

namespace ostrel {
namespace {

struct TjHandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleCloser>;

struct TjBufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferFree>;

// Compressed JPEG data owned by TurboJPEG's allocator.
struct JpegData {
    TjBuffer bytes;
    unsigned long size = 0;
};

JpegData compress(const QImage& picture) {
    if (picture.isNull())
        throw Exception(QStringLiteral("The picture is empty and cannot be saved as JPEG"));
    // Bitmaps load as blue-green-red rows, which TurboJPEG reads as they are.
    const QImage bgr = picture.format() == QImage::Format_BGR888
                           ? picture
                           : picture.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) throw Exception(QStringLiteral("Not enough memory to convert the picture"));

    const TjHandle handle(tjInitCompress());
    if (!handle)
        throw Exception(QStringLiteral("JPEG compressor could not be created: %1")
                            .arg(QString::fromLocal8Bit(tjGetErrorStr2(nullptr))));
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    // No TJFLAG_PROGRESSIVE (baseline) and no TJFLAG_FASTDCT (the accurate integer DCT
    // libjpeg uses by default).
    const int status =
        tjCompress2(handle.get(), bgr.constBits(), bgr.width(), int(bgr.bytesPerLine()),
                    bgr.height(), TJPF_BGR, &out, &outSize, TJSAMP_420, JpegQuality, 0);
    JpegData result{TjBuffer(out), outSize}; // owns whatever was allocated, success or not
    if (status != 0)
        throw Exception(QStringLiteral("JPEG compression failed: %1")
                            .arg(QString::fromLocal8Bit(tjGetErrorStr2(handle.get()))));
    return result;
}

} // namespace

QByteArray encodeJpeg(const QImage& picture) {
    const JpegData jpeg = compress(picture);
    return QByteArray(reinterpret_cast<const char*>(jpeg.bytes.get()), qsizetype(jpeg.size));
}

bool SaveBitmapAsJpeg(const QString& bitmapPath, const QString& jpegPath) {
    const QImage picture = bitmap::load(bitmapPath);
    if (picture.isNull())
        throw Exception(
            QStringLiteral("Bitmap file \"%1\" has no pixels to save as JPEG").arg(bitmapPath));
    const JpegData jpeg = compress(picture);
    // Written straight from the compressor's buffer, without a copy.
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(jpeg.bytes.get()),
                                                    qsizetype(jpeg.size));
    QString why;
    if (!writeFileAtomically(jpegPath, data, &why))
        throw Exception(QStringLiteral("Cannot write file \"%1\". %2").arg(jpegPath, why));
    return true;
}

} // namespace ostrel
