#pragma once
// Bitmap files to JPEG files, for the website's Capture.jpg and the motion detection
// images: quality 90, baseline, colour, 4:2:0 chroma subsampling (the libjpeg defaults).
#include <QImage>
#include <QString>

namespace ostrel {

constexpr int JpegQuality = 90;

// Loads the bitmap file `bitmapPath` and writes it as a JPEG file to `jpegPath`,
// replacing any file there. Returns true when done. Raises Exception when the bitmap is
// missing, damaged or empty, or the target cannot be written; the target is replaced
// atomically, so on failure it is either absent or exactly what it was before.
bool SaveBitmapAsJpeg(const QString& bitmapPath, const QString& jpegPath);

// The JPEG file bytes of a picture (any format; converted to 24-bit first). Raises
// Exception for an empty picture or when the compressor fails.
QByteArray encodeJpeg(const QImage& picture);

} // namespace ostrel
