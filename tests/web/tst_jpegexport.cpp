// Bitmap to JPEG: what the file holds (size, pixels, baseline, quality 90, 4:2:0), and
// that a missing or damaged bitmap or an unwritable target never leaves a partial file
// nor harms a good one.
#include "JpegCheck.h"
#include "capture/Bitmap.h"
#include "platform/Exception.h"
#include "web/JpegExport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QImage gradient(int width, int height) {
    QImage picture(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixelColor(x, y,
                                  QColor(x * 255 / qMax(1, width - 1),
                                         y * 255 / qMax(1, height - 1),
                                         (x + y) * 255 / qMax(1, width + height - 2)));
    return picture;
}

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& name, const QByteArray& data) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestJpegExport : public QObject {
    Q_OBJECT
private slots:
    void init();

    void writesBaselineJpeg_data();
    void writesBaselineJpeg();
    void replacesExistingTarget();

    void missingSourceLeavesNoTarget();
    void damagedBitmapKeepsTarget_data();
    void damagedBitmapKeepsTarget();
    void unwritableTarget_data();
    void unwritableTarget();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

void TestJpegExport::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + QLatin1Char('/');
}

void TestJpegExport::writesBaselineJpeg_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("1 x 1") << QSize(1, 1);
    QTest::newRow("odd 17 x 9") << QSize(17, 9);
    QTest::newRow("VGA") << QSize(640, 480);
}

void TestJpegExport::writesBaselineJpeg() {
    QFETCH(QSize, size);
    const QImage picture = gradient(size.width(), size.height());
    const QString source = folder_ + QStringLiteral("Capture.bmp");
    const QString target = folder_ + QStringLiteral("Capture.jpg");
    bitmap::save(source, picture);

    QVERIFY(SaveBitmapAsJpeg(source, target));
    const QByteArray data = readAll(target);
    const DecodedJpeg jpeg = decodeJpeg(data);
    QVERIFY(jpeg.ok);
    QCOMPARE(QSize(jpeg.width, jpeg.height), size);
    QCOMPARE(jpeg.colorspace, int(TJCS_YCbCr));
    QCOMPARE(jpeg.subsampling, int(TJSAMP_420));
    QCOMPARE(frameMarkers(data), QList<uchar>{0xC0}); // baseline, one frame
    // Quality 90 scales the standard luminance table's DC step 16 to 3.
    QCOMPARE(firstLumaQuantizer(data), 3);
    // Colours come through in their places (a swapped red and blue would be far off).
    QVERIFY2(meanDifference(jpeg.picture, picture) < 4.0,
             qPrintable(QString::number(meanDifference(jpeg.picture, picture))));
    QCOMPARE(QDir(folder_).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("Capture.bmp"), QStringLiteral("Capture.jpg")}));
}

void TestJpegExport::replacesExistingTarget() {
    const QString source = folder_ + QStringLiteral("frame.bmp");
    const QString target = folder_ + QStringLiteral("image001.jpg");
    bitmap::save(source, gradient(40, 30));
    writeFile(target, QByteArray(100000, 'x')); // longer than the new file
    QVERIFY(SaveBitmapAsJpeg(source, target));
    const DecodedJpeg jpeg = decodeJpeg(readAll(target));
    QVERIFY(jpeg.ok);
    QCOMPARE(jpeg.width, 40);
    QVERIFY(readAll(target).size() < 100000);
}

void TestJpegExport::missingSourceLeavesNoTarget() {
    const QString source = folder_ + QStringLiteral("temp00.bmp");
    const QString error =
        errorOf([&] { SaveBitmapAsJpeg(source, folder_ + QStringLiteral("image001.jpg")); });
    QVERIFY2(error.contains(source), qPrintable(error));
    QVERIFY(QDir(folder_).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestJpegExport::damagedBitmapKeepsTarget_data() {
    QTest::addColumn<QByteArray>("contents");
    const QByteArray good = bitmap::encode(gradient(33, 21));
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("not a bitmap") << QByteArray("\xFF\xD8\xFF\xE0 a JPEG is no bitmap");
    QTest::newRow("cut in the pixels") << good.left(good.size() - 200);
    QTest::newRow("no pixels") << bitmap::encode(QImage());
}

void TestJpegExport::damagedBitmapKeepsTarget() {
    QFETCH(QByteArray, contents);
    const QString source = folder_ + QStringLiteral("Capture.bmp");
    const QString target = folder_ + QStringLiteral("Capture.jpg");
    writeFile(source, contents);
    // A good JPEG from an earlier update.
    bitmap::save(folder_ + QStringLiteral("earlier.bmp"), gradient(20, 10));
    QVERIFY(SaveBitmapAsJpeg(folder_ + QStringLiteral("earlier.bmp"), target));
    const QByteArray before = readAll(target);

    QVERIFY(!errorOf([&] { SaveBitmapAsJpeg(source, target); }).isEmpty());
    QCOMPARE(readAll(target), before);
    QCOMPARE(QDir(folder_).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestJpegExport::unwritableTarget_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << QStringLiteral("no/such/folder/Capture.jpg");
    QTest::newRow("a folder") << QStringLiteral("folder.jpg");
}

void TestJpegExport::unwritableTarget() {
    QFETCH(QString, target);
    QVERIFY(QDir(folder_).mkdir(QStringLiteral("folder.jpg")));
    const QString source = folder_ + QStringLiteral("Capture.bmp");
    bitmap::save(source, gradient(8, 8));
    const QString error = errorOf([&] { SaveBitmapAsJpeg(source, folder_ + target); });
    QVERIFY2(error.contains(QStringLiteral("Cannot write file")), qPrintable(error));
    QVERIFY(QFileInfo(folder_ + QStringLiteral("folder.jpg")).isDir());
    QCOMPARE(QDir(folder_).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("Capture.bmp"), QStringLiteral("folder.jpg")}));
}

QTEST_GUILESS_MAIN(TestJpegExport)
#include "tst_jpegexport.moc"
