// Bitmap to JPEG: what the file holds (size, pixels, baseline, quality 90, 4:2:0), and
// that a missing or damaged bitmap or an unwritable target never leaves a partial file
// nor harms a good one.
#include "../common/FreshFolder.h"
#include "../net/NetTestUtil.h"
#include "picture/Bitmap.h"
#include "picture/JpegExport.h"
#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// A picture of one colour: red, which comes back blue if the channels are swapped.
QImage red(int width, int height) {
    QImage picture(width, height, QImage::Format_BGR888);
    picture.fill(QColor(255, 0, 0));
    return picture;
}

} // namespace

class TestJpegExport : public QObject {
    Q_OBJECT
    FreshFolder folder_;

private slots:
    void init() { QVERIFY(folder_.renew()); }

    void writesBaselineJpeg_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1 x 1") << QSize(1, 1);
        QTest::newRow("odd 17 x 9") << QSize(17, 9);
    }

    void writesBaselineJpeg() {
        QFETCH(QSize, size);
        bitmap::save(folder_.path + "Capture.bmp", red(size.width(), size.height()));
        QVERIFY(
            writeFile(folder_.path + "Capture.jpg", QByteArray(1000000, 'x'))); // longer than new

        QVERIFY(SaveBitmapAsJpeg(folder_.path + "Capture.bmp", folder_.path + "Capture.jpg"));
        const QByteArray data = readFile(folder_.path + "Capture.jpg");
        // Baseline (start of frame 0xC0), not progressive (0xC2); both marker pairs cannot
        // occur inside the tables or the entropy-coded data of these files. 4:2:0: of the
        // three components, luminance samples 2 x 2 and the colours 1 x 1.
        const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
        QCOMPARE_GT(sof, 0);
        QVERIFY(!data.contains(QByteArray("\xFF\xC2", 2)));
        QCOMPARE(data.mid(sof + 9, 10).toHex(' '), "03 01 22 00 02 11 01 03 11 01");
        const QImage picture = QImage::fromData(data, "JPEG");
        QCOMPARE(picture.size(), size);
        // Quality 90 scales the standard luminance table's DC step 16 to 3: the first value
        // of the first quantisation table (after marker, length and table byte).
        const qsizetype table = data.indexOf(QByteArray("\xFF\xDB", 2));
        QCOMPARE_GT(table, 0);
        QCOMPARE(int(uchar(data.at(table + 5))), 3);
        const QColor centre = picture.pixelColor(size.width() / 2, size.height() / 2);
        QCOMPARE_GT(centre.red(), 240);
        QCOMPARE_LT(centre.green(), 16);
        QCOMPARE_LT(centre.blue(), 16);
        QCOMPARE(folder_.entries(), (QStringList{"Capture.bmp", "Capture.jpg"}));
    }

    // Rows: what Capture.bmp holds, the target, and a part of the error text.
    void failureKeepsTarget_data() {
        QTest::addColumn<QByteArray>("bitmap");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("error");
        const QByteArray good = bitmap::encode(red(33, 21));
        const auto row = [](const char* name, const QByteArray& bitmap, const char* target,
                            const char* error) {
            QTest::newRow(name) << bitmap << QString(target) << QString(error);
        };
        row("no bitmap", QByteArray(), "Capture.jpg", "Capture.bmp");
        row("cut in the pixels", good.left(good.size() - 200), "Capture.jpg", "truncated");
        row("no pixels", bitmap::encode(QImage()), "Capture.jpg", "Capture.bmp");
        row("missing folder", good, "no/such/folder/Capture.jpg", "Cannot write file");
        row("a folder", good, "folder.jpg", "Cannot write file");
    }

    void failureKeepsTarget() {
        QFETCH(QByteArray, bitmap);
        QFETCH(QString, target);
        QFETCH(QString, error);
        if (!bitmap.isNull()) QVERIFY(writeFile(folder_.path + "Capture.bmp", bitmap));
        QVERIFY(writeFile(folder_.path + "Capture.jpg", "a good JPEG from an earlier update"));
        QVERIFY(QDir(folder_.path).mkdir("folder.jpg"));
        const QStringList before = folder_.entries();
        QString message;
        try {
            SaveBitmapAsJpeg(folder_.path + "Capture.bmp", folder_.path + target);
        } catch (const Exception& e) {
            message = e.message();
        }
        QVERIFY2(message.contains(error), qPrintable(message));
        QCOMPARE(folder_.entries(), before);
        QCOMPARE(readFile(folder_.path + "Capture.jpg"),
                 QByteArray("a good JPEG from an earlier update"));
        QVERIFY(QFileInfo(folder_.path + "folder.jpg").isDir());
    }
};

QTEST_GUILESS_MAIN(TestJpegExport)
#include "tst_jpegexport.moc"
