// The bitmap codec: the 24-bit files it writes, the formats it converts, and the damaged
// and hostile files it must refuse without crashing or allocating for claimed sizes.
#include "picture/Bitmap.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <functional>

using namespace ostrel;

namespace {

// A bitmap file assembled field by field, so a test can make any field wrong.
struct Header {
    QByteArray magic = "BM";
    quint32 pixelOffset = 0; // 0: right after the header and tables
    quint32 infoSize = 40;
    qint32 width = 2;
    qint32 height = 2;
    quint16 planes = 1;
    quint16 bitsPerPixel = 24;
    quint32 compression = 0;
    quint32 colorsUsed = 0;
};

QByteArray makeFile(const Header& h, const QByteArray& tables, const QByteArray& pixels) {
    // Room for the 40 fields even when the header claims to be shorter.
    QByteArray b(14 + int(std::clamp<quint32>(h.infoSize, 40, 124)), '\0');
    b.replace(0, 2, h.magic.left(2));
    const quint32 offset = h.pixelOffset ? h.pixelOffset : quint32(b.size() + tables.size());
    char* p = b.data();
    qToLittleEndian<quint32>(quint32(b.size() + tables.size() + pixels.size()), p + 2);
    qToLittleEndian<quint32>(offset, p + 10);
    qToLittleEndian<quint32>(h.infoSize, p + 14);
    qToLittleEndian<qint32>(h.width, p + 18);
    qToLittleEndian<qint32>(h.height, p + 22);
    qToLittleEndian<quint16>(h.planes, p + 26);
    qToLittleEndian<quint16>(h.bitsPerPixel, p + 28);
    qToLittleEndian<quint32>(h.compression, p + 30);
    qToLittleEndian<quint32>(h.colorsUsed, p + 46);
    return b + tables + pixels;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// A picture whose every byte depends on its position, so swapped rows or pixels show.
QImage patterned(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 13 + x * y) & 0xFF);
    return image;
}

QString pixelsOf(const QImage& image) {
    QStringList rows;
    for (int y = 0; y < image.height(); ++y)
        rows << QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 3)
                .toHex(' '));
    return rows.join(QLatin1String(" | "));
}

// The message of the bitmap error `action` raises.
QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EBitmapError& e) {
        return e.message();
    }
    return QStringLiteral("(nothing raised)");
}

} // namespace

class TestBitmap : public QObject {
    Q_OBJECT
private slots:
    void writesBottomUpWithPaddedRows() {
        QImage image(2, 2, QImage::Format_BGR888);
        memcpy(image.scanLine(0), bytes({1, 2, 3, 4, 5, 6}).constData(), 6); // top row
        memcpy(image.scanLine(1), bytes({7, 8, 9, 10, 11, 12}).constData(), 6);
        // Size 70, pixels at 54, a 40-byte header, 2 by 2 (positive height: bottom-up), one
        // plane, 24 bits, no compression, 16 bytes of pixels; then the bottom row first, each
        // row padded with zeros to 8 bytes.
        QCOMPARE(
            bitmap::encode(image).toHex(' '),
            QByteArray("42 4d 46 00 00 00 00 00 00 00 36 00 00 00 28 00 00 00 02 00 00 00 02 00 "
                       "00 00 01 00 18 00 00 00 00 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                       "00 00 00 00 00 00 07 08 09 0a 0b 0c 00 00 01 02 03 04 05 06 00 00"));
    }

    void converts_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected"); // BGR bytes, rows top-down
        const QString ordered = QStringLiteral("01 02 03 04 05 06 | 07 08 09 0a 0b 0c");
        const QByteArray bottomUp32 =
            bytes({7, 8, 9, 99, 10, 11, 12, 99, 1, 2, 3, 99, 4, 5, 6, 99});
        const QByteArray masks = bytes({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0});

        QTest::newRow("24-bit top-down")
            << makeFile({.height = -2}, {},
                        bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}))
            << ordered;
        QTest::newRow("32-bit drops the fourth byte")
            << makeFile({.bitsPerPixel = 32}, {}, bottomUp32) << ordered;
        QTest::newRow("32-bit with blue-green-red masks")
            << makeFile({.bitsPerPixel = 32, .compression = 3}, masks, bottomUp32) << ordered;
        QByteArray v5file =
            makeFile({.infoSize = 124, .bitsPerPixel = 32, .compression = 3}, {}, bottomUp32);
        v5file.replace(54, 12, masks); // the masks live inside the larger header
        QTest::newRow("32-bit with a version 5 header") << v5file << ordered;

        QByteArray palette(256 * 4, '\0');
        palette.replace(4, 4, bytes({10, 20, 30, 0}));
        palette.replace(255 * 4, 4, bytes({1, 2, 3, 0}));
        QTest::newRow("8-bit, full palette")
            << makeFile({.bitsPerPixel = 8}, palette, bytes({0, 1, 0, 0, 255, 1, 0, 0}))
            << "01 02 03 0a 14 1e | 00 00 00 0a 14 1e";
        QTest::newRow("8-bit, two colours; indices past them are black")
            << makeFile({.bitsPerPixel = 8, .colorsUsed = 2}, bytes({10, 20, 30, 0, 40, 50, 60, 0}),
                        bytes({1, 7, 0, 0, 0, 255, 0, 0}))
            << "0a 14 1e 00 00 00 | 28 32 3c 00 00 00";
    }

    void converts() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        const QImage image = bitmap::decode(file);
        QCOMPARE(image.format(), QImage::Format_BGR888);
        QCOMPARE(pixelsOf(image), expected);
    }

    void refusesHostileFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray pixels(16, '\x55');
        auto variant = [&](const Header& h) { return makeFile(h, {}, pixels); };

        QTest::newRow("empty") << QByteArray() << "Not a bitmap";
        QTest::newRow("not BM") << QByteArray("GIF89a").append(QByteArray(100, '\0'))
                                << "Not a bitmap";
        QTest::newRow("old core header") << variant({.infoSize = 12}) << "header";
        QTest::newRow("negative width") << variant({.width = -2}) << "invalid";
        QTest::newRow("height without a positive twin")
            << variant({.height = std::numeric_limits<qint32>::min()}) << "invalid";
        QTest::newRow("width past the limit")
            << variant({.width = bitmap::MaxDimension + 1, .height = 1}) << "too large";
        QTest::newRow("height past the limit")
            << variant({.width = 1, .height = bitmap::MaxDimension + 1}) << "too large";
        // The largest allowed size with 16 bytes of pixels: refused before any allocation.
        QTest::newRow("largest size, no pixels")
            << variant({.width = 16384, .height = 16384}) << "truncated";
        QTest::newRow("16 bits") << variant({.bitsPerPixel = 16}) << "16 bits";
        QTest::newRow("bit fields on 24 bits") << variant({.compression = 3}) << "Compressed";
        QTest::newRow("red-green-blue masks")
            << makeFile({.bitsPerPixel = 32, .compression = 3},
                        bytes({0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}), pixels)
            << "masks";
        QTest::newRow("offset past the end") << variant({.pixelOffset = 0xFFFFFFF0u}) << "offset";
        QTest::newRow("pixels overlap the palette")
            << makeFile({.pixelOffset = 54 + 4, .bitsPerPixel = 8}, QByteArray(1024, '\0'),
                        QByteArray(8, '\0'))
            << "offset";
        QTest::newRow("palette count huge")
            << variant({.bitsPerPixel = 8, .colorsUsed = 0xFFFFFFFFu}) << "palette";
    }

    void refusesHostileFiles() {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        const QString message = errorOf([&] { bitmap::decode(file); });
        QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
    }

    // Either side alone past the limit is refused for writing too.
    void refusesOneSideTooLarge() {
        for (const QSize size :
             {QSize(bitmap::MaxDimension + 1, 1), QSize(1, bitmap::MaxDimension + 1)})
            QVERIFY_THROWS_EXCEPTION(EBitmapError,
                                     bitmap::encode(QImage(size, QImage::Format_RGB888)));
    }

    void refusesEveryTruncation() {
        const QImage image = patterned(5, 3); // rows of 15 bytes + 1 padding byte
        const QByteArray file = bitmap::encode(image);
        for (int length = 0; length < file.size() - 1; ++length)
            QVERIFY_THROWS_EXCEPTION(EBitmapError,
                                     bitmap::decode(QByteArrayView(file.constData(), length)));
        // Only the padding after the last row may be missing; it holds no pixels.
        QCOMPARE(bitmap::decode(file.left(file.size() - 1)), image);
        // Other formats are written as the same 24-bit colours; rows of a 4-byte multiple
        // take no padding; no pixels is a valid 0 by 0 bitmap.
        QCOMPARE(bitmap::decode(bitmap::encode(image.convertToFormat(QImage::Format_RGB32))),
                 image);
        QCOMPARE(bitmap::encode(patterned(4, 4)).size(), 54 + 12 * 4);
        QCOMPARE(bitmap::decode(bitmap::encode(QImage())), QImage());
        QCOMPARE(bitmap::encode(QImage()).size(), 54);
    }

    void files() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("Capture.bmp"));
        // A file is replaced whole, synced or not, and nothing else is left behind.
        bitmap::save(name, patterned(64, 48));
        QCOMPARE(bitmap::load(name), patterned(64, 48));
        bitmap::save(name, patterned(3, 2), bitmap::Durability::Unsynced);
        QCOMPARE(bitmap::load(name), patterned(3, 2));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Capture.bmp"});
        // Errors name the file.
        const QString missing = dir.filePath("temp00.bmp"),
                      unwritable = dir.filePath("no/such/x.bmp");
        QVERIFY(errorOf([&] { bitmap::load(missing); }).contains('"' + missing + '"'));
        QVERIFY(errorOf([&] {
                    bitmap::save(unwritable, patterned(2, 2));
                }).contains('"' + unwritable + '"'));
    }
};

QTEST_GUILESS_MAIN(TestBitmap)
#include "tst_bitmap.moc"
