// Picture files as the viewer, the animation and the remote host window read them.
#include "../net/NetTestUtil.h"
#include "ProgressiveJpeg.h"
#include "picture/JpegExport.h"
#include "picture/PictureLoading.h"
#include "platform/Exception.h"
#include <QBuffer>
#include <QtTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

// Red on the left half, blue on the right.
QImage halves(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            picture.setPixel(x, y, qRgb(0, 0, 255));
    return picture;
}

QImage grey(int width, int height) {
    QImage picture(width, height, QImage::Format_Grayscale8);
    picture.fill(128);
    return picture;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    // The decoder scales down only as far as the area still gets a full picture, keeps
    // red red, shows what a cut-off file holds, and refuses a header whose size the
    // file's bytes cannot hold.
    void decoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("fitting");
        QTest::addColumn<QSize>("decoded");
        const QByteArray jpeg = encodeJpeg(halves(1280, 720));
        QTest::newRow("full size") << jpeg << QSize() << QSize(1280, 720);
        QTest::newRow("400x300 area: 1/2") << jpeg << QSize(400, 300) << QSize(640, 360);
        QTest::newRow("160x90 area: 1/8") << jpeg << QSize(160, 90) << QSize(160, 90);
        QTest::newRow("cut off") << jpeg.left(jpeg.size() / 2) << QSize() << QSize(1280, 720);
        QTest::newRow("progressive")
            << progressiveJpeg(halves(1280, 720)) << QSize(400, 300) << QSize(640, 360);
        QByteArray huge = encodeJpeg(halves(16, 16));
        const int sof = int(huge.indexOf("\xff\xc0")); // height and width follow at +5
        huge[sof + 5] = char(0x3f), huge[sof + 7] = char(0x3f);
        QTest::newRow("16191 x 16191 claimed by 700 bytes") << huge << QSize() << QSize(0, 0);
    }
    void decoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, fitting);
        QFETCH(QSize, decoded);
        QString why;
        const QImage image = decodeJpeg(bytes, fitting, &why);
        QCOMPARE(image.size(), decoded);
        if (image.isNull()) {
            QVERIFY(!why.isEmpty());
            return;
        }
        const QColor left = image.pixelColor(2, 2), right = image.pixelColor(image.width() - 3, 2);
        QCOMPARE_GT(left.red(), 200);
        QCOMPARE_LT(left.blue(), 60);
        QCOMPARE_GT(right.blue(), 200);
        QCOMPARE_LT(right.red(), 60);
    }

    // A picture that would cost too much is refused with the reason, where its header
    // tells before any decoding; a server's picture may be no larger than 4096 x 4096.
    void refusals_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("limits");
        QTest::addColumn<QString>("reason"); // empty: the picture loads
        QTest::newRow("101 scans") << progressiveJpeg(grey(64, 64), 101) << "local"
                                   << "the picture is stored in more than 100 scans";
        QByteArray tall = progressiveJpeg(grey(64, 64));
        const int sof = int(tall.indexOf("\xff\xc2"));       // height and width follow at +5
        tall.replace(sof + 5, 4, "\x2e\xe0\x2e\xe0");        // 12000 x 12000
        tall.append(QByteArray(12000 * 12000 / 1024, '\0')); // as long as the header needs
        QTest::newRow("progressive 12000 x 12000")
            << tall << "local"
            << "decoding the picture would take 275 MiB of memory, more than the 256 MiB allowed";
        const QString tooLarge(
            "the picture is 4097 x 4096 pixels, more than the 16.8 million allowed");
        const QByteArray jpeg = progressiveJpeg(grey(4097, 4096));
        QTest::newRow("JPEG from a server") << jpeg << "server" << tooLarge;
        QTest::newRow("the same JPEG at home") << jpeg << "local" << QString();
        QImage mono(4097, 4096, QImage::Format_Mono);
        mono.fill(0);
        QBuffer bitmap;
        bitmap.open(QIODevice::WriteOnly);
        QVERIFY(mono.save(&bitmap, "BMP"));
        QTest::newRow("bitmap from a server") << bitmap.data() << "server" << tooLarge;
        QTest::newRow("the same bitmap at home") << bitmap.data() << "local" << QString();
        QTest::newRow("cancelled") << encodeJpeg(halves(64, 64)) << "cancelled"
                                   << "the decoding was cancelled";
        QTest::newRow("GIF") << QByteArray("GIF89a") << "local"
                             << "it is neither a JPEG picture nor a bitmap";
    }
    void refusals() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, limits);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath("picture");
        QVERIFY(writeFile(path, bytes));
        const std::atomic<bool> cancelled = true;
        PictureLimits chosen = limits == "server" ? ServerPicture : PictureLimits{};
        if (limits == "cancelled") chosen.cancelled = &cancelled;
        QString refusal;
        try {
            loadPicture(path, QSize(400, 300), chosen);
        } catch (const Exception& e) {
            refusal = e.message();
        }
        QCOMPARE(refusal, reason.isEmpty()
                              ? reason
                              : "The picture \"" + path + "\" cannot be shown: " + reason);
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
