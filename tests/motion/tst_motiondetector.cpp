// The motion check with a real capture device: the frame round trip through temp00.bmp,
// the failures that must leave the reference alone, and detections on scenes that stay
// still, change once, or have a figure walking through them.
#include "capture/Bitmap.h"
#include "capture/VideoCapture.h"
#include "motion/MotionDetector.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;

namespace {

// A lavfi filter graph as driver 0.
class GraphDriver : public CaptureDriver {
public:
    explicit GraphDriver(QString graph) : graph_(std::move(graph)) {}
    DriverDescription description() const override {
        return {QStringLiteral("Test Graph"), QStringLiteral("1.0")};
    }
    DriverCaps caps() const override { return {}; }
    SourceSpec source() const override {
        SourceSpec spec;
        spec.inputFormat = QStringLiteral("lavfi");
        spec.url = graph_;
        return spec;
    }

private:
    QString graph_;
};

class OneDriver : public DriverRegistry {
public:
    explicit OneDriver(std::shared_ptr<CaptureDriver> d) : driver_(std::move(d)) {}
    std::shared_ptr<CaptureDriver> driver(int index) override {
        return index == 0 ? driver_ : nullptr;
    }

private:
    std::shared_ptr<CaptureDriver> driver_;
};

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

struct Check {
    qint64 ms; // since the device was opened
    Comparison result;
};

} // namespace

class TestMotionDetector : public QObject {
    Q_OBJECT
private slots:
    void init();

    void frameSumGoesThroughTempFile();
    void failedGrabRaisesAndKeepsReference_data();
    void failedGrabRaisesAndKeepsReference();
    void damagedFileRaises_data();
    void damagedFileRaises();

    void stillRoomGivesNoDetection();
    void sceneChangingOnceGivesOneDetection();
    void crossingFigureIsDetected();

private:
    QList<Check> runChecks(TVideoCapture& video, MotionDetector& detector, int count,
                           int intervalMs);
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

void TestMotionDetector::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + QLatin1Char('/');
}

QList<Check> TestMotionDetector::runChecks(TVideoCapture& video, MotionDetector& detector,
                                           int count, int intervalMs) {
    QElapsedTimer clock;
    clock.start();
    detector.setLastFrameSum(detector.GetFrameSum(video, folder_)); // the session's seed
    QList<Check> checks;
    for (int i = 0; i < count; ++i) {
        QTest::qWait(intervalMs);
        checks.append({clock.elapsed(), detector.check(video, folder_, 100, 0)});
    }
    return checks;
}

void TestMotionDetector::frameSumGoesThroughTempFile() {
    writeFile(folder_ + QStringLiteral("vcap.sif"), "[Virtual Camera]\nMotion_Interval=0\n");
    TVideoCapture video(systemDrivers(folder_), folder_);
    video.setDriverIndex(0);
    video.setDriverOpen(true);

    MotionDetector detector;
    detector.setLastFrameSum(77);
    const quint32 sum = detector.GetFrameSum(video, folder_);
    QCOMPARE(video.SingleImageFile(), folder_ + QStringLiteral("temp00.bmp"));
    QCOMPARE(sum, frameSum(video.lastGrabbedFrame()));
    // A 640 x 480 room is neither black nor white.
    QVERIFY(sum > 640u * 480u * 100u && sum < 640u * 480u * 700u);
    QVERIFY(!QFile::exists(folder_ + QStringLiteral("temp00.bmp")));
    QCOMPARE(detector.LastFrameSum(), 77u); // only a check moves the reference
}

void TestMotionDetector::failedGrabRaisesAndKeepsReference_data() {
    QTest::addColumn<bool>("staleFile");
    QTest::newRow("no file") << false;
    // A temp00.bmp left by an earlier detection is not this check's frame.
    QTest::newRow("stale file") << true;
}

void TestMotionDetector::failedGrabRaisesAndKeepsReference() {
    QFETCH(bool, staleFile);
    const QString temp = folder_ + QStringLiteral("temp00.bmp");
    if (staleFile) {
        QImage old(8, 8, QImage::Format_BGR888);
        old.fill(Qt::gray);
        bitmap::save(temp, old);
    }
    TVideoCapture video(systemDrivers(folder_), folder_); // no driver open
    MotionDetector detector;
    detector.setLastFrameSum(123456);

    const QString error = errorOf([&] { detector.check(video, folder_, 100, 0); });
    QVERIFY2(error.contains(temp), qPrintable(error));
    QCOMPARE(detector.LastFrameSum(), 123456u);
    QVERIFY(errorOf([&] { detector.GetFrameSum(video, folder_); }).contains(temp));
    QCOMPARE(detector.LastFrameSum(), 123456u);
}

void TestMotionDetector::damagedFileRaises_data() {
    QTest::addColumn<QByteArray>("contents");
    QImage picture(31, 9, QImage::Format_BGR888);
    picture.fill(QColor(1, 2, 3));
    const QByteArray good = bitmap::encode(picture);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut in the pixels") << good.left(good.size() / 2);
}

void TestMotionDetector::damagedFileRaises() {
    QFETCH(QByteArray, contents);
    const QString name = folder_ + QStringLiteral("damaged.bmp");
    writeFile(name, contents);
    MotionDetector detector;
    QVERIFY(!errorOf([&] { detector.sumBitmapFile(name); }).isEmpty());
    // The detector is still usable afterwards.
    QImage picture(3, 2, QImage::Format_BGR888);
    picture.fill(QColor(10, 20, 30));
    bitmap::save(name, picture);
    QCOMPARE(detector.sumBitmapFile(name), 6u * 60u);
}

void TestMotionDetector::stillRoomGivesNoDetection() {
    writeFile(folder_ + QStringLiteral("vcap.sif"), "[Virtual Camera]\nMotion_Interval=0\n");
    TVideoCapture video(systemDrivers(folder_), folder_);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    MotionDetector detector;
    const QList<Check> checks = runChecks(video, detector, 20, 200);
    for (const Check& c : checks) {
        QVERIFY(c.result.similarity.has_value());
        QVERIFY2(!c.result.detection, qPrintable(QString::number(*c.result.similarity)));
    }
}

void TestMotionDetector::sceneChangingOnceGivesOneDetection() {
    // Grey, and from 1.5 s on a white quarter that stays.
    auto driver = std::make_shared<GraphDriver>(
        QStringLiteral("color=c=0x808080:s=160x120:r=15,"
                       "drawbox=x=0:y=0:w=80:h=60:color=white:t=fill:enable='gte(t,1.5)'"));
    TVideoCapture video(std::make_shared<OneDriver>(driver), folder_);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    MotionDetector detector;
    const QList<Check> checks = runChecks(video, detector, 14, 250); // 3.5 s
    int detections = 0;
    for (const Check& c : checks)
        detections += c.result.detection ? 1 : 0;
    QCOMPARE(detections, 1);
}

void TestMotionDetector::crossingFigureIsDetected() {
    // The figure enters 3 s after the device opens and keeps crossing from then on.
    writeFile(folder_ + QStringLiteral("vcap.sif"), "[Virtual Camera]\nMotion_Interval=3\n");
    TVideoCapture video(systemDrivers(folder_), folder_);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    MotionDetector detector;
    const QList<Check> checks = runChecks(video, detector, 16, 500); // 8 s
    int crossingDetections = 0;
    for (const Check& c : checks) {
        if (c.ms < 2500)
            QVERIFY2(!c.result.detection, qPrintable(QString::number(c.ms)));
        else if (c.result.detection)
            ++crossingDetections;
    }
    QVERIFY(crossingDetections >= 1);
}

QTEST_MAIN(TestMotionDetector)
#include "tst_motiondetector.moc"
