// The motion check with a real capture device: the frame round trip through temp00.bmp,
// the failures that must leave the reference alone, and detections as
// a figure walks through the virtual camera's room.
#include "../capture/ScriptedDrivers.h"
#include "../common/FreshFolder.h"
#include "capture/VideoCapture.h"
#include "motion/MotionDetector.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestMotionDetector : public QObject {
    Q_OBJECT
    FreshFolder folder_;

private slots:

    void init() { QVERIFY(folder_.renew()); }

    void failuresRaiseAndKeepReference_data() {
        QTest::addColumn<bool>("staleFile");
        QTest::newRow("no file") << false;
        // A temp00.bmp left by an earlier detection is not this check's frame.
        QTest::newRow("stale file") << true;
    }

    void failuresRaiseAndKeepReference() {
        QFETCH(bool, staleFile);
        const QString temp = folder_.path + QStringLiteral("temp00.bmp");
        QImage picture(3, 2, QImage::Format_BGR888);
        picture.fill(QColor(10, 20, 30));
        if (staleFile) bitmap::save(temp, picture);
        TVideoCapture video(systemDrivers(folder_.path), folder_.path); // no driver open
        MotionDetector detector;
        detector.setLastFrameSum(123456);
        const QString error = messageOf([&] { detector.check(video, folder_.path, 100, 0); });
        QVERIFY2(error.contains(temp), qPrintable(error));
        QCOMPARE(detector.LastFrameSum(), 123456u);

        // A damaged file raises too, and leaves the detector usable.
        QFile damaged(temp);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(bitmap::encode(picture).left(60));
        damaged.close();
        QVERIFY_THROWS_EXCEPTION(EBitmapError, detector.sumBitmapFile(temp));
        bitmap::save(temp, picture);
        QCOMPARE(detector.sumBitmapFile(temp), 6u * 60u);
    }

    // A detection is where the scene changed between two checks: on scan line 300 of the
    // virtual camera, a figure came, went or moved. The sensor noise and the running clock
    // alone never make one.
    void detections() {
        const int row = 300;
        const QColor thing(28, 28, 34);
        IniFile(folder_.path + QStringLiteral("vcap.sif"))
            .writeInteger("Virtual Camera", "Motion_Interval", 3);
        TVideoCapture video(systemDrivers(folder_.path), folder_.path);
        video.setDriverIndex(0);
        video.setDriverOpen(true);
        // Where the figure is on the row of the last frame grabbed: its first and last
        // column, or none.
        const auto where = [&] {
            const QImage frame = video.lastGrabbedFrame();
            QList<int> columns;
            for (int x = 0; x < frame.width(); ++x) {
                const QColor c = frame.pixelColor(x, row);
                if (std::abs(c.red() - thing.red()) < 40 &&
                    std::abs(c.green() - thing.green()) < 40 &&
                    std::abs(c.blue() - thing.blue()) < 40)
                    columns << x;
            }
            return columns.isEmpty() ? columns : QList<int>{columns.first(), columns.last()};
        };

        MotionDetector detector;
        detector.setLastFrameSum(77);
        const quint32 seed = detector.GetFrameSum(video, folder_.path);
        QCOMPARE(detector.LastFrameSum(), 77u); // only a check moves the reference
        QCOMPARE(seed, frameSum(video.lastGrabbedFrame()));
        QCOMPARE(video.SingleImageFile(), folder_.path + QStringLiteral("temp00.bmp"));
        QVERIFY(!QFile::exists(video.SingleImageFile()));
        detector.setLastFrameSum(seed); // the session's seed
        QList<int> before = where();
        int detections = 0, shown = 0;
        for (int i = 0; i < 300 && shown < 8; ++i) { // until the thing has been in 8 checks
            QVERIFY(newFrame(video));
            const Comparison c = detector.check(video, folder_.path, 100, 0);
            QVERIFY(c.similarity.has_value());
            const QList<int> now = where();
            if (now == before) QCOMPARE(c.detection, false);
            detections += c.detection ? 1 : 0;
            shown += now.isEmpty() ? 0 : 1;
            before = now;
        }
        QCOMPARE(shown, 8);
        QCOMPARE_GT(detections, 0);
    }
};

QTEST_MAIN(TestMotionDetector)
#include "tst_motiondetector.moc"
