// The bitmap codec: the 24-bit files it writes, the formats it converts, and the damaged
// and hostile files it must refuse without crashing or allocating for claimed sizes.
#include "capture/Bitmap.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace ostrel;

namespace {

// A bitmap file assembled field by field, so a test can make any field wrong.
struct Header {
    QByteArray magic = "BM";
    quint32 pixelOffset = 0; // 0: right after the header and tables
    quint32 infoSize = 40;
    qint32 width = 0;
    qint32 height = 0;
    quint16 planes = 1;
    quint16 bitsPerPixel = 24;
    quint32 compression = 0;
    quint32 colorsUsed = 0;
};

void put16(QByteArray& b, int at, quint16 v) {
    qToLittleEndian<quint16>(v, b.data() + at);
}
void put32(QByteArray& b, int at, quint32 v) {
    qToLittleEndian<quint32>(v, b.data() + at);
}

QByteArray makeFile(const Header& h, const QByteArray& tables, const QByteArray& pixels) {
    // Room for the 40 fields even when the header claims to be shorter.
    QByteArray b(14 + int(std::clamp<quint32>(h.infoSize, 40, 124)), '\0');
    b.replace(0, 2, h.magic.left(2));
    const quint32 offset = h.pixelOffset ? h.pixelOffset : quint32(b.size() + tables.size());
    put32(b, 2, quint32(b.size() + tables.size() + pixels.size()));
    put32(b, 10, offset);
    put32(b, 14, h.infoSize);
    put32(b, 18, quint32(h.width));
    put32(b, 22, quint32(h.height));
    put16(b, 26, h.planes);
    put16(b, 28, h.bitsPerPixel);
    put32(b, 30, h.compression);
    put32(b, 46, h.colorsUsed);
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
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar((x * 7 + y * 13 + x * y) & 0xFF);
    }
    return image;
}

bool sameBgr(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        if (memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 3) != 0)
            return false;
    return true;
}

QString pixelsOf(const QImage& image) {
    QStringList rows;
    for (int y = 0; y < image.height(); ++y)
        rows << QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 3)
                .toHex(' '));
    return rows.join(QLatin1String(" | "));
}

} // namespace

class TestBitmap : public QObject {
    Q_OBJECT
private slots:
    void writesBottomUpWithPaddedRows();
    void roundTrip_data();
    void roundTrip();
    void emptyBitmap();
    void converts_data();
    void converts();
    void refusesHostileFiles_data();
    void refusesHostileFiles();
    void refusesEveryTruncation();
    void fileErrorsNameTheFile();
    void saveReplacesAtomically();
};

void TestBitmap::writesBottomUpWithPaddedRows() {
    QImage image(2, 2, QImage::Format_BGR888);
    memcpy(image.scanLine(0), bytes({1, 2, 3, 4, 5, 6}).constData(), 6); // top row
    memcpy(image.scanLine(1), bytes({7, 8, 9, 10, 11, 12}).constData(), 6);
    const QByteArray file = bitmap::encode(image);

    QCOMPARE(file.size(), 54 + 2 * 8);
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 2), quint32(70));  // file size
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 10), quint32(54)); // pixel offset
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 14), quint32(40)); // info header
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 18), 2);
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 22), 2); // positive: bottom-up
    QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 26), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 28), quint16(24));
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 30), quint32(0));
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 34), quint32(16));
    // Bottom row first, each row padded with zeros to 8 bytes.
    QCOMPARE(file.mid(54), bytes({7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
}

void TestBitmap::roundTrip_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("odd width, 1 padding byte") << 5 << 3;
    QTest::newRow("no padding") << 4 << 4;
    QTest::newRow("camera frame") << 640 << 480;
}

void TestBitmap::roundTrip() {
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage image = patterned(width, height);
    const QImage decoded = bitmap::decode(bitmap::encode(image));
    QCOMPARE(decoded.format(), QImage::Format_BGR888);
    QVERIFY(sameBgr(decoded, image));

    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("frame.bmp"));
    bitmap::save(name, image);
    QVERIFY(sameBgr(bitmap::load(name), image));
    QCOMPARE(QFileInfo(name).size(), 54 + bitmap::rowStride24(width) * height);

    // Other formats are written as the same 24-bit colours.
    QVERIFY(sameBgr(bitmap::decode(bitmap::encode(image.convertToFormat(QImage::Format_RGB32))),
                    image));
}

void TestBitmap::emptyBitmap() {
    const QByteArray file = bitmap::encode(QImage());
    QCOMPARE(file.size(), 54);
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 18), 0);
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 22), 0);
    QVERIFY(bitmap::decode(file).isNull());

    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Capture.bmp"));
    bitmap::save(name, QImage());
    QVERIFY(bitmap::load(name).isNull());
}

void TestBitmap::converts_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // BGR bytes, rows top-down

    Header h;
    h.width = 2;
    h.height = 2;

    Header topDown = h;
    topDown.height = -2;
    QTest::newRow("24-bit top-down")
        << makeFile(topDown, {}, bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}))
        << "01 02 03 04 05 06 | 07 08 09 0a 0b 0c";

    Header argb = h;
    argb.bitsPerPixel = 32;
    QTest::newRow("32-bit drops the fourth byte")
        << makeFile(argb, {}, bytes({7, 8, 9, 99, 10, 11, 12, 99, 1, 2, 3, 99, 4, 5, 6, 99}))
        << "01 02 03 04 05 06 | 07 08 09 0a 0b 0c";

    Header fields = argb;
    fields.compression = 3;
    const QByteArray masks = bytes({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0});
    QTest::newRow("32-bit with blue-green-red masks")
        << makeFile(fields, masks, bytes({7, 8, 9, 0, 10, 11, 12, 0, 1, 2, 3, 0, 4, 5, 6, 0}))
        << "01 02 03 04 05 06 | 07 08 09 0a 0b 0c";

    Header v5 = fields;
    v5.infoSize = 124;
    QByteArray v5file =
        makeFile(v5, {}, bytes({7, 8, 9, 0, 10, 11, 12, 0, 1, 2, 3, 0, 4, 5, 6, 0}));
    v5file.replace(54, 12, masks); // the masks live inside the larger header
    QTest::newRow("32-bit with a version 5 header")
        << v5file << "01 02 03 04 05 06 | 07 08 09 0a 0b 0c";

    Header indexed = h;
    indexed.bitsPerPixel = 8;
    QByteArray palette(256 * 4, '\0');
    palette.replace(4, 4, bytes({10, 20, 30, 0}));
    palette.replace(255 * 4, 4, bytes({1, 2, 3, 0}));
    QTest::newRow("8-bit, full palette")
        << makeFile(indexed, palette, bytes({0, 1, 0, 0, 255, 1, 0, 0}))
        << "01 02 03 0a 14 1e | 00 00 00 0a 14 1e";

    Header shortPalette = indexed;
    shortPalette.colorsUsed = 2;
    QTest::newRow("8-bit, two colours; indices past them are black")
        << makeFile(shortPalette, bytes({10, 20, 30, 0, 40, 50, 60, 0}),
                    bytes({1, 7, 0, 0, 0, 255, 0, 0}))
        << "0a 14 1e 00 00 00 | 28 32 3c 00 00 00";
}

void TestBitmap::converts() {
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const QImage image = bitmap::decode(file);
    QCOMPARE(image.format(), QImage::Format_BGR888);
    QCOMPARE(pixelsOf(image), expected);
}

void TestBitmap::refusesHostileFiles_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");

    Header h;
    h.width = 2;
    h.height = 2;
    const QByteArray pixels(16, '\x55');
    auto variant = [&](auto change) {
        Header v = h;
        change(v);
        return makeFile(v, {}, pixels);
    };

    QTest::newRow("empty") << QByteArray() << "Not a bitmap";
    QTest::newRow("not BM") << QByteArray("GIF89a").append(QByteArray(100, '\0')) << "Not a bitmap";
    QTest::newRow("header cut short") << makeFile(h, {}, pixels).left(30) << "truncated";
    QTest::newRow("old core header") << variant([](Header& v) { v.infoSize = 12; }) << "header";
    QTest::newRow("negative width") << variant([](Header& v) { v.width = -2; }) << "invalid";
    QTest::newRow("height without a positive twin")
        << variant([](Header& v) { v.height = std::numeric_limits<qint32>::min(); }) << "invalid";
    QTest::newRow("giant claims") << variant([](Header& v) {
        v.width = 0x7FFFFFFF;
        v.height = -16385;
    }) << "too large";
    // The largest allowed size with 16 bytes of pixels: refused before any allocation.
    QTest::newRow("largest size, no pixels") << variant([](Header& v) {
        v.width = 16384;
        v.height = 16384;
    }) << "truncated";
    QTest::newRow("16 bits") << variant([](Header& v) { v.bitsPerPixel = 16; }) << "16 bits";
    QTest::newRow("bit fields on 24 bits")
        << variant([](Header& v) { v.compression = 3; }) << "Compressed";
    Header rgbMasks = h;
    rgbMasks.bitsPerPixel = 32;
    rgbMasks.compression = 3;
    QTest::newRow("red-green-blue masks")
        << makeFile(rgbMasks, bytes({0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}), pixels)
        << "masks";
    QTest::newRow("offset past the end")
        << variant([](Header& v) { v.pixelOffset = 0xFFFFFFF0u; }) << "offset";
    Header indexed = h;
    indexed.bitsPerPixel = 8;
    indexed.pixelOffset = 54 + 4;
    QTest::newRow("pixels overlap the palette")
        << makeFile(indexed, QByteArray(1024, '\0'), QByteArray(8, '\0')) << "offset";
    QTest::newRow("palette count huge") << variant([](Header& v) {
        v.bitsPerPixel = 8;
        v.colorsUsed = 0xFFFFFFFFu;
    }) << "palette";
    QTest::newRow("one row missing") << makeFile(h, {}, pixels.left(8)) << "truncated";
}

void TestBitmap::refusesHostileFiles() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    try {
        bitmap::decode(file);
        QFAIL("decoded a bad bitmap");
    } catch (const EBitmapError& e) {
        QVERIFY2(e.message().contains(reason, Qt::CaseInsensitive), qPrintable(e.message()));
    }
}

void TestBitmap::refusesEveryTruncation() {
    const QImage image = patterned(5, 3); // rows of 15 bytes + 1 padding byte
    const QByteArray file = bitmap::encode(image);
    for (int length = 0; length < file.size() - 1; ++length) {
        bool refused = false;
        try {
            bitmap::decode(QByteArrayView(file.constData(), length));
        } catch (const EBitmapError&) {
            refused = true;
        }
        QVERIFY2(refused, qPrintable(QStringLiteral("prefix of %1 bytes accepted").arg(length)));
    }
    // Only the padding after the last row may be missing; it holds no pixels.
    QVERIFY(sameBgr(bitmap::decode(file.left(file.size() - 1)), image));
}

void TestBitmap::fileErrorsNameTheFile() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("temp00.bmp"));
    try {
        bitmap::load(missing);
        QFAIL("loaded a missing file");
    } catch (const EBitmapError& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open file \"%1\"").arg(missing)),
                 qPrintable(e.message()));
    }
    try {
        bitmap::save(dir.filePath(QStringLiteral("no/such/folder/x.bmp")), patterned(2, 2));
        QFAIL("saved into a missing folder");
    } catch (const EBitmapError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("no/such/folder/x.bmp")),
                 qPrintable(e.message()));
    }
}

void TestBitmap::saveReplacesAtomically() {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Capture.bmp"));
    bitmap::save(name, patterned(64, 48));
    bitmap::save(name, patterned(3, 2));
    QVERIFY(sameBgr(bitmap::load(name), patterned(3, 2)));
    // Nothing but the one file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Capture.bmp")});
}

QTEST_GUILESS_MAIN(TestBitmap)
#include "tst_bitmap.moc"
