#pragma once
// Progressive JPEG pictures for the tests and benchmarks, including ones that cost a
// decoder far more than their size suggests.
#include <QByteArray>
#include <QImage>
#include <memory>
#include <turbojpeg.h>

namespace ostrel::test {

// `picture` (RGB32 at 4:2:0, or Grayscale8 as grey) as a progressive JPEG. With more
// `scans` than the encoder writes, its last scan (a refinement of every AC coefficient:
// a few bytes per 32767 blocks of a plain picture) is repeated until the file has that
// many. libjpeg only warns about the repeats, and every one of them walks the whole
// picture. Empty when the encoder fails.
inline QByteArray progressiveJpeg(const QImage& picture, int scans = 0) {
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int status =
        tjCompress2(encoder.get(), picture.constBits(), picture.width(),
                    int(picture.bytesPerLine()), picture.height(),
                    grey ? TJPF_GRAY : (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB),
                    &out, &size, grey ? TJSAMP_GRAY : TJSAMP_420, 90, TJFLAG_PROGRESSIVE);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(out, tjFree);
    if (status != 0) return {};
    QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    // 0xFF is always followed by 0x00 inside entropy-coded data, so this finds markers only.
    const QByteArray sos("\xff\xda");
    const qsizetype lastScan = jpeg.lastIndexOf(sos), end = jpeg.size() - 2; // before EOI
    const QByteArray scan = jpeg.mid(lastScan, end - lastScan);
    jpeg.truncate(end);
    for (qsizetype n = jpeg.count(sos); n < scans; ++n)
        jpeg += scan;
    return jpeg + "\xff\xd9";
}

} // namespace ostrel::test
