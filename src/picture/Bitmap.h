#pragma once
// Device-independent bitmap files (.bmp). Frames are written as 24-bit, bottom-up bitmaps
// with a 40-byte info header, the layout every frame consumer of the program reads. The
// reader also takes 32-bit, 8-bit paletted and top-down files and always yields 24-bit
// BGR rows, top row first. Files come from disk and may be damaged or hostile: every size
// and offset is checked before anything is allocated or read.
#include "platform/Exception.h"
#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace ostrel {

// A bitmap could not be read or written; the text says why.
class EBitmapError : public Exception {
public:
    using Exception::Exception;
};

namespace bitmap {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int MaxDimension = 16384;

// Bytes of one stored 24-bit row: width * 3 rounded up to a multiple of 4.
constexpr qint64 rowStride24(qint64 width) {
    return (width * 3 + 3) & ~qint64(3);
}

// Decodes a whole bitmap file held in memory. The result is QImage::Format_BGR888 (bytes
// blue, green, red per pixel; rows top-down). A bitmap without pixels (0 by 0, or one side
// 0) gives a null QImage. Throws EBitmapError for anything that is not a readable bitmap.
QImage decode(QByteArrayView data);

// Reads and decodes a file; an unreadable file is an EBitmapError as well.
QImage load(const QString& fileName);

// A 24-bit bottom-up bitmap of `image` (any format; converted to BGR). A null image gives
// the valid 0 by 0 bitmap.
QByteArray encode(const QImage& image);

// Whether a write waits until the file is on the disk. A frame file that is read back
// and deleted at once needs no such wait; anything kept does.
enum class Durability { Synced, Unsynced };

// Writes encode(image) to `fileName` atomically (a temporary file beside it, then a
// rename), so a reader never sees half a frame. Throws EBitmapError on failure.
void save(const QString& fileName, const QImage& image, Durability durability = Durability::Synced);

} // namespace bitmap
} // namespace ostrel
