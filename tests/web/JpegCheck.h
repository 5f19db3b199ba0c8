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
    if (tjDecompress2(handle.get(), bytes, static_cast<unsigned long>(data.size()),
                      out.picture.bits(), out.width, int(out.picture.bytesPerLine()), out.height,
                      TJPF_BGR, 0) != 0)
        return out;
    out.ok = true;
    return out;
}

// The markers of the frame header: 0xC0 baseline, 0xC2 progressive, …
inline QList<uchar> frameMarkers(const QByteArray& data) {
    QList<uchar> markers;
    for (qsizetype i = 2; i + 4 <= data.size();) {
        if (uchar(data[i]) != 0xFF) break;
        const uchar marker = uchar(data[i + 1]);
        if (marker == 0xDA) // start of scan: the entropy-coded data follows
            break;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            markers.append(marker);
        const int length = (uchar(data[i + 2]) << 8) | uchar(data[i + 3]);
        i += 2 + length;
    }
    return markers;
}

// The first (DC) value of the first quantisation table, or -1.
inline int firstLumaQuantizer(const QByteArray& data) {
    const qsizetype at = data.indexOf(QByteArray("\xFF\xDB", 2));
    if (at < 0 || at + 6 > data.size()) return -1;
    return uchar(data[at + 5]); // after marker, length (2) and precision/table byte
}

// Mean absolute difference per colour byte of two equally sized pictures.
inline double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_BGR888);
    const QImage y = b.convertToFormat(QImage::Format_BGR888);
    if (x.size() != y.size() || x.isNull()) return 1e9;
    double total = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            total += std::abs(int(p[i]) - int(q[i]));
    }
    return total / (double(x.width()) * x.height() * 3);
}

} // namespace ostrel::test
