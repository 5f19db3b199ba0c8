#pragma once
// The program's picture loading: JPEG files through libjpeg-turbo, Windows bitmaps
// through Qt's bitmap reader.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <atomic>

namespace ostrel {

// What one picture may cost. Every picture is also held to fixed bounds on the work and
// memory its JPEG encoding may ask for: at most `MaxJpegScans` scans, and a progressive
// picture's whole-image coefficient buffer at most `MaxCoefficientBytes`.
struct PictureLimits {
    // Pixels of the picture as stored, before any scaling.
    qint64 maxPixels = qint64(16384) * 16384;
    // When set, a decode checks it between rows and scans and gives up once it is true.
    const std::atomic<bool>* cancelled = nullptr;
};
// A picture from a server: a webcam picture, at most 4096 x 4096 pixels' worth.
inline constexpr PictureLimits ServerPicture{qint64(4096) * 4096};
// A real progressive JPEG has about ten scans per set of components.
inline constexpr int MaxJpegScans = 100;
// 256 MiB: a progressive colour picture of some 90 megapixels at 4:2:0.
inline constexpr qint64 MaxCoefficientBytes = qint64(256) << 20;

// Decodes JPEG bytes. With a `fitting` size the decoder scales down in its DCT by the
// largest factor that still leaves the picture at least that size (at most 1/8), which
// is what a picture stretched into a small area needs and far cheaper than full size.
// Returns a null image when the bytes are not a JPEG picture, cost more than `limits`
// allow, or the decode was cancelled; `error` then says why.
QImage decodeJpeg(const QByteArray& bytes, QSize fitting = {}, QString* error = nullptr,
                  const PictureLimits& limits = {});

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
LoadedPicture loadPicture(const QString& path, QSize fitting = {},
                          const PictureLimits& limits = {});

} // namespace ostrel
