#pragma once
// Reading back JPEG files written by the program: header, markers and pixels.
#include <QByteArray>
#include <QImage>
#include <memory>
#include <turbojpeg.h>

namespace ostrel::test {

struct DecodedJpeg {
    bool ok = false;
    int width = 0;
    int height = 0;
    int subsampling = -1;
    int colorspace = -1;
    QImage picture; // Format_BGR888
};

inline DecodedJpeg decodeJpeg(const QByteArray& data) {
    DecodedJpeg out;
    struct Closer {
        void operator()(void* h) const { tjDestroy(h); }
    };
    const std::unique_ptr<void, Closer> handle(tjInitDecompress());
    if (!handle) return out;
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));
    if (tjDecompressHeader3(handle.get(), bytes, static_cast<unsigned long>(data.size()),
                            &out.width, &out.height, &out.subsampling, &out.colorspace) != 0)
        return out;
    out.picture = QImage(out.width, out.height, QImage::Format_BGR888);
    out.ok = tjDecompress2(handle.get(), bytes, static_cast<unsigned long>(data.size()),
                           out.picture.bits(), out.width, int(out.picture.bytesPerLine()),
                           out.height, TJPF_BGR, 0) == 0;
    return out;
}

} // namespace ostrel::test
