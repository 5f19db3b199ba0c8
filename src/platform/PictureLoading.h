#pragma once
// The program's picture loading: JPEG files through libjpeg-turbo, Windows bitmaps
// through Qt's bitmap reader.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace ostrel {

// Decodes JPEG bytes. With a `fitting` size the decoder scales down in its DCT by the
// largest factor that still leaves the picture at least that size (at most 1/8), which
// is what a picture stretched into a small area needs and far cheaper than full size.
// Returns a null image when the bytes are not a JPEG picture; `error` then says why.
QImage decodeJpeg(const QByteArray& bytes, QSize fitting = {}, QString* error = nullptr);

// The largest picture file the program reads: a file is read whole, and anything bigger is
// not one of ours.
inline constexpr qint64 MaxPictureFileSize = 256 * 1024 * 1024;

// A picture file read once: its bytes as stored, and the picture they hold.
struct LoadedPicture {
    QByteArray bytes;
    QImage image;
    bool isJpeg = false;
};

// Reads and decodes the file at `path`. Raises Exception with the file's name and the
// reason when it cannot be opened ("Cannot open file ...") or holds no readable picture.
LoadedPicture loadPicture(const QString& path, QSize fitting = {});

} // namespace ostrel
