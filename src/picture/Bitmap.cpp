#include "picture/Bitmap.h"
#include "platform/FileWrites.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace ostrel::bitmap {
namespace {

constexpr quint32 BI_RGB = 0;
constexpr quint32 BI_BITFIELDS = 3;
constexpr int MaxPaletteEntries = 256;

// The largest header we understand is BITMAPV5HEADER; anything bigger is not a bitmap we
// can trust the layout of.
bool knownInfoHeaderSize(quint32 size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Bounds-checked little-endian field access over the whole file.
class Reader {
public:
    explicit Reader(QByteArrayView data) : data_(data) {}
    qint64 size() const { return data_.size(); }
    bool has(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset <= size() && length <= size() - offset;
    }
    quint16 u16(qint64 offset) const {
        need(offset, 2);
        return qFromLittleEndian<quint16>(ptr(offset));
    }
    quint32 u32(qint64 offset) const {
        need(offset, 4);
        return qFromLittleEndian<quint32>(ptr(offset));
    }
    qint32 i32(qint64 offset) const {
        need(offset, 4);
        return qFromLittleEndian<qint32>(ptr(offset));
    }
    const uchar* ptr(qint64 offset) const {
        return reinterpret_cast<const uchar*>(data_.data()) + offset;
    }

private:
    void need(qint64 offset, qint64 length) const {
        if (!has(offset, length)) throw EBitmapError(QStringLiteral("Bitmap file is truncated"));
    }
    QByteArrayView data_;
};

void putU16(QByteArray& out, qsizetype at, quint16 v) {
    qToLittleEndian<quint16>(v, out.data() + at);
}
void putU32(QByteArray& out, qsizetype at, quint32 v) {
    qToLittleEndian<quint32>(v, out.data() + at);
}

} // namespace

QImage decode(QByteArrayView data) {
    const Reader in(data);
    if (in.size() < 2 || data[0] != 'B' || data[1] != 'M')
        throw EBitmapError(QStringLiteral("Not a bitmap file"));

    const qint64 pixelOffset = in.u32(10);
    const quint32 headerSize = in.u32(FileHeaderSize);
    if (!knownInfoHeaderSize(headerSize))
        throw EBitmapError(QStringLiteral("Unsupported bitmap header (%1 bytes)").arg(headerSize));
    if (!in.has(FileHeaderSize, headerSize))
        throw EBitmapError(QStringLiteral("Bitmap file is truncated"));

    const qint32 rawWidth = in.i32(18);
    const qint32 rawHeight = in.i32(22);
    const quint16 planes = in.u16(26);
    const quint16 bitsPerPixel = in.u16(28);
    const quint32 compression = in.u32(30);
    const quint32 colorsUsed = in.u32(46);

    // Negative heights mark top-down bitmaps; the most negative value has no positive twin.
    if (rawWidth < 0 || rawHeight == std::numeric_limits<qint32>::min())
        throw EBitmapError(QStringLiteral("Bitmap dimensions are invalid"));
    const bool topDown = rawHeight < 0;
    const qint64 width = rawWidth;
    const qint64 height = topDown ? -qint64(rawHeight) : qint64(rawHeight);
    if (width > MaxDimension || height > MaxDimension)
        throw EBitmapError(
            QStringLiteral("Bitmap dimensions %1x%2 are too large").arg(width).arg(height));
    if (planes != 1) throw EBitmapError(QStringLiteral("Bitmap has %1 colour planes").arg(planes));
    if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
        throw EBitmapError(
            QStringLiteral("Unsupported bitmap format (%1 bits per pixel)").arg(bitsPerPixel));

    qint64 tablesEnd = FileHeaderSize + qint64(headerSize);
    if (compression == BI_BITFIELDS && bitsPerPixel == 32) {
        // Only the plain blue-green-red order is accepted; masks follow a 40-byte header
        // and are part of the larger ones.
        const qint64 masks = FileHeaderSize + InfoHeaderSize;
        if (!in.has(masks, 12)) throw EBitmapError(QStringLiteral("Bitmap file is truncated"));
        if (in.u32(masks) != 0x00FF0000u || in.u32(masks + 4) != 0x0000FF00u ||
            in.u32(masks + 8) != 0x000000FFu)
            throw EBitmapError(QStringLiteral("Unsupported bitmap colour masks"));
        if (headerSize == InfoHeaderSize) tablesEnd += 12;
    } else if (compression != BI_RGB) {
        throw EBitmapError(QStringLiteral("Compressed bitmaps are not supported"));
    }

    qint64 paletteEntries = 0;
    if (bitsPerPixel == 8) {
        if (colorsUsed > MaxPaletteEntries)
            throw EBitmapError(QStringLiteral("Bitmap palette is too large"));
        paletteEntries = colorsUsed == 0 ? MaxPaletteEntries : colorsUsed;
    }
    const qint64 paletteOffset = tablesEnd;
    tablesEnd += paletteEntries * 4;
    if (!in.has(0, tablesEnd)) throw EBitmapError(QStringLiteral("Bitmap file is truncated"));
    if (pixelOffset < tablesEnd || pixelOffset > in.size())
        throw EBitmapError(QStringLiteral("Bitmap pixel data offset is invalid"));

    if (width == 0 || height == 0) return QImage();

    const qint64 rowBytes = (width * bitsPerPixel + 7) / 8;
    const qint64 stride = ((width * bitsPerPixel + 31) / 32) * 4;
    // The padding after the last row is sometimes left out by writers; it is never read.
    if (!in.has(pixelOffset, stride * (height - 1) + rowBytes))
        throw EBitmapError(QStringLiteral("Bitmap file is truncated"));

    QImage image(int(width), int(height), QImage::Format_BGR888);
    if (image.isNull())
        throw EBitmapError(
            QStringLiteral("Not enough memory for a %1x%2 bitmap").arg(width).arg(height));

    uchar palette[MaxPaletteEntries][3] = {};
    for (qint64 i = 0; i < paletteEntries; ++i) {
        const uchar* entry = in.ptr(paletteOffset + i * 4); // blue, green, red, reserved
        std::memcpy(palette[i], entry, 3);
    }

    for (qint64 y = 0; y < height; ++y) {
        const qint64 stored = topDown ? y : height - 1 - y;
        const uchar* src = in.ptr(pixelOffset + stored * stride);
        uchar* dst = image.scanLine(int(y));
        switch (bitsPerPixel) {
        case 24:
            std::memcpy(dst, src, size_t(width * 3));
            break;
        case 32:
            for (qint64 x = 0; x < width; ++x, src += 4, dst += 3)
                std::memcpy(dst, src, 3);
            break;
        default: // 8: indices past the palette show black, as they would on screen
            for (qint64 x = 0; x < width; ++x, dst += 3) {
                const uchar index = src[x];
                if (index < paletteEntries)
                    std::memcpy(dst, palette[index], 3);
                else
                    std::memset(dst, 0, 3);
            }
            break;
        }
    }
    return image;
}

QImage load(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EBitmapError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    // No bitmap within the dimension limit is larger than this; a bigger file is refused
    // before it is read into memory.
    constexpr qint64 maxFileSize =
        FileHeaderSize + 124 + 12 + MaxPaletteEntries * 4 + qint64(MaxDimension) * MaxDimension * 4;
    if (file.size() > maxFileSize)
        throw EBitmapError(QStringLiteral("Bitmap file \"%1\" is too large").arg(fileName));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EBitmapError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    return decode(data);
}

QByteArray encode(const QImage& image) {
    const bool empty = image.isNull() || image.width() == 0 || image.height() == 0;
    const qint64 width = empty ? 0 : image.width();
    const qint64 height = empty ? 0 : image.height();
    if (width > MaxDimension || height > MaxDimension)
        throw EBitmapError(
            QStringLiteral("Bitmap dimensions %1x%2 are too large").arg(width).arg(height));

    const qint64 stride = rowStride24(width);
    const qint64 imageSize = stride * height;
    const qint64 headers = FileHeaderSize + InfoHeaderSize;
    QByteArray out(qsizetype(headers + imageSize), '\0');

    out[0] = 'B';
    out[1] = 'M';
    putU32(out, 2, quint32(headers + imageSize));
    putU32(out, 10, quint32(headers));
    putU32(out, 14, InfoHeaderSize);
    putU32(out, 18, quint32(width));
    putU32(out, 22, quint32(height)); // positive: bottom-up
    putU16(out, 26, 1);
    putU16(out, 28, 24);
    putU32(out, 30, BI_RGB);
    putU32(out, 34, quint32(imageSize));
    if (empty) return out;

    const QImage bgr = image.format() == QImage::Format_BGR888
                           ? image
                           : image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull())
        throw EBitmapError(QStringLiteral("Not enough memory to convert the picture"));
    for (qint64 y = 0; y < height; ++y) {
        const qint64 stored = height - 1 - y;
        std::memcpy(out.data() + headers + stored * stride, bgr.constScanLine(int(y)),
                    size_t(width * 3));
    }
    return out;
}

void save(const QString& fileName, const QImage& image, Durability durability) {
    QString why;
    if (!writeFileAtomically(fileName, encode(image), &why, false,
                             durability == Durability::Synced))
        throw EBitmapError(QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, why));
}

} // namespace ostrel::bitmap
