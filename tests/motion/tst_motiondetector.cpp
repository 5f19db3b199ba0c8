// The motion check with a real capture device: the frame round trip through temp00.bmp,
// the failures that must leave the reference alone, and detections on scenes that change
// once or have a figure walking through them.
#include "../capture/ScriptedDrivers.h"
#include "capture/VideoCapture.h"
#include "motion/MotionDetector.h"
#include "platform/IniFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

class TestMotionDetector : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;

private slots:

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        folder_ = dir_->path() + QLatin1Char('/');
    }

    void failuresRaiseAndKeepReference_data() {
        QTest::addColumn<bool>("staleFile");
        QTest::newRow("no file") << false;
        // A temp00.bmp left by an earlier detection is not this check's frame.
        QTest::newRow("stale file") << true;
    }

    void failuresRaiseAndKeepReference() {
        QFETCH(bool, staleFile);
        const QString temp = folder_ + QStringLiteral("temp00.bmp");
        QImage picture(3, 2, QImage::Format_BGR888);
        picture.fill(QColor(10, 20, 30));
        if (staleFile) bitmap::save(temp, picture);
        TVideoCapture video(systemDrivers(folder_), folder_); // no driver open
        MotionDetector detector;
        detector.setLastFrameSum(123456);
        const QString error = messageOf([&] { detector.check(video, folder_, 100, 0); });
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

    void detections_data() {
        QTest::addColumn<QString>("graph"); // empty: the virtual camera, its figure entering at 3 s
        QTest::addColumn<int>("quietMs");   // no detection before this
        QTest::addColumn<int>("most");
        QTest::newRow("scene changing once")
            << QStringLiteral("color=c=0x808080:s=160x120:r=15,"
                              "drawbox=x=0:y=0:w=80:h=60:color=white:t=fill:enable='gte(t,1.5)'")
            << 1000 << 1;
        QTest::newRow("figure crossing a still room") << QString() << 2500 << 16;
    }

    void detections() {
        QFETCH(QString, graph);
        QFETCH(int, quietMs);
        QFETCH(int, most);
        IniFile(folder_ + QStringLiteral("vcap.sif"))
            .writeInteger("Virtual Camera", "Motion_Interval", 3);
        auto drivers = std::make_shared<ScriptedDrivers>();
        if (!graph.isEmpty()) drivers->add(0, QStringLiteral("Graph"), lavfiSource(graph));
        TVideoCapture video(graph.isEmpty() ? systemDrivers(folder_) : drivers, folder_);
        video.setDriverIndex(0);
        video.setDriverOpen(true);

        QElapsedTimer clock;
        clock.start();
        MotionDetector detector;
        detector.setLastFrameSum(77);
        const quint32 seed = detector.GetFrameSum(video, folder_);
        QCOMPARE(detector.LastFrameSum(), 77u); // only a check moves the reference
        QCOMPARE(seed, frameSum(video.lastGrabbedFrame()));
        QCOMPARE(video.SingleImageFile(), folder_ + QStringLiteral("temp00.bmp"));
        QVERIFY(!QFile::exists(video.SingleImageFile()));
        detector.setLastFrameSum(seed); // the session's seed
        int detections = 0;
        for (int i = 0; i < 16; ++i) { // 6.4 s
            QTest::qWait(400);
            const Comparison c = detector.check(video, folder_, 100, 0);
            QVERIFY(c.similarity.has_value());
            QVERIFY2(!c.detection || clock.elapsed() >= quietMs, qPrintable(QString::number(i)));
            detections += c.detection ? 1 : 0;
        }
        QVERIFY2(detections >= 1 && detections <= most, qPrintable(QString::number(detections)));
    }
};

QTEST_MAIN(TestMotionDetector)
#include "tst_motiondetector.moc"
