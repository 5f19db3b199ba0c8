// The frame sum and the comparison of two sums: the worked values, the rounding of
// halves, the strict window of the sliders, the 32-bit corner cases, and the reference
// carried from check to check.
#include "motion/FrameComparison.h"
#include "motion/MotionDetector.h"

#include <QRandomGenerator>
#include <QTest>
#include <limits>
#include <vector>

using namespace ostrel;

namespace {

constexpr int NoSimilarity = std::numeric_limits<int>::min() + 1; // marker in test data

int asColumn(const std::optional<int>& s) {
    return s ? *s : NoSimilarity;
}

// The frame sum written the plain way, byte by byte, to check the fast one against.
quint32 naiveSum(const std::vector<uchar>& data, int width, int height, int bytesPerLine) {
    quint32 sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uchar* pixel = data.data() + qsizetype(y) * bytesPerLine + qsizetype(x) * 3;
            sum += pixel[2];
            sum += pixel[1];
            sum += pixel[0];
        }
    return sum;
}

} // namespace

class TestFrameComparison : public QObject {
    Q_OBJECT
private slots:
    void similarity_data();
    void similarity();
    void detectionWindow_data();
    void detectionWindow();
    void overlappingWindowNeverDetects_data();
    void overlappingWindowNeverDetects();

    void frameSumOfRows_data();
    void frameSumOfRows();
    void frameSumWrapsAt32Bits();
    void frameSumOfPictures_data();
    void frameSumOfPictures();

    void referenceMovesOnEveryCheck();
    void oneChangeGivesOneDetection();
};

void TestFrameComparison::similarity_data() {
    QTest::addColumn<quint32>("reference");
    QTest::addColumn<quint32>("newSum");
    QTest::addColumn<int>("expected");

    // The worked table.
    QTest::newRow("unchanged") << 1000000u << 1000000u << 100;
    QTest::newRow("99.5001 rounds up") << 1000000u << 995001u << 100;
    QTest::newRow("99.4") << 1000000u << 994000u << 99;
    QTest::newRow("99") << 1000000u << 990000u << 99;
    QTest::newRow("49.4") << 1000000u << 494000u << 49;
    QTest::newRow("black frame") << 1000000u << 0u << 0;
    QTest::newRow("two and a half times") << 1000000u << 2500000u << -50;
    // The difference is twice the reference: 100 * (1 - 2).
    QTest::newRow("three times") << 1000000u << 3000000u << -100;
    QTest::newRow("difference three times") << 1000000u << 4000000u << -200;

    // Exact halves go to the even neighbour, in both directions and on both sides of 0.
    QTest::newRow("99.5 up to 100") << 200u << 199u << 100;
    QTest::newRow("98.5 down to 98") << 200u << 197u << 98;
    QTest::newRow("97.5 up to 98") << 200u << 195u << 98;
    QTest::newRow("99.5 of a million") << 1000000u << 995000u << 100;
    QTest::newRow("98.5 from above") << 1000000u << 1015000u << 98;
    QTest::newRow("-72.5 up to -72") << 40u << 109u << -72;
    QTest::newRow("-77.5 down to -78") << 40u << 111u << -78;
    QTest::newRow("57.5 up to 58") << 40u << 23u << 58;
    QTest::newRow("42.5 down to 42") << 40u << 17u << 42;
    if constexpr (std::numeric_limits<long double>::digits == 64) {
        // In the 80-bit format these land just beside the half (27.4999…, 22.5000…),
        // where double precision lands on the other side.
        QTest::newRow("extended 27.4999") << 40u << 11u << 27;
        QTest::newRow("extended 22.5000") << 40u << 9u << 23;
        QTest::newRow("extended -7.5000") << 40u << 83u << -8;
    }

    // The difference is taken in 32 bits and read as a signed number: 500,000,000 minus
    // 3,000,000,000 reads as 1,794,967,296, not 2,500,000,000.
    QTest::newRow("signed reading") << 3000000000u << 500000000u << 40;
    QTest::newRow("difference of 2^31") << 2147483658u << 10u << 0;

    QTest::newRow("reference 0") << 0u << 123456u << NoSimilarity;
    QTest::newRow("reference and sum 0") << 0u << 0u << NoSimilarity;
    QTest::newRow("just fits 32 bits") << 1u << 21474838u << -2147483600;
    QTest::newRow("beyond 32 bits") << 1u << 21474839u << NoSimilarity;
    QTest::newRow("far beyond 32 bits") << 3u << 1000000000u << NoSimilarity;
}

void TestFrameComparison::similarity() {
    QFETCH(quint32, reference);
    QFETCH(quint32, newSum);
    QFETCH(int, expected);
    QCOMPARE(asColumn(ostrel::similarity(reference, newSum)), expected);
}

void TestFrameComparison::detectionWindow_data() {
    QTest::addColumn<quint32>("reference");
    QTest::addColumn<quint32>("newSum");
    QTest::addColumn<int>("sensitivity");
    QTest::addColumn<int>("treshold");
    QTest::addColumn<bool>("detection");

    const struct {
        quint32 newSum;
        bool atDefault;
        bool atSensitivity50;
    } table[] = {{1000000, false, false}, {995001, false, false}, {994000, true, false},
                 {990000, true, false},   {494000, true, true},   {0, false, false},
                 {2500000, false, false}};
    for (const auto& row : table) {
        QTest::addRow("default %u", row.newSum)
            << 1000000u << row.newSum << 100 << 0 << row.atDefault;
        QTest::addRow("sensitivity 50 %u", row.newSum)
            << 1000000u << row.newSum << 50 << 0 << row.atSensitivity50;
    }
    // Both bounds are strict.
    QTest::newRow("99 < 99 fails") << 1000000u << 990000u << 99 << 0 << false;
    QTest::newRow("99 > 99 fails") << 1000000u << 990000u << 100 << 99 << false;
    QTest::newRow("99 > 98") << 1000000u << 990000u << 100 << 98 << true;
    QTest::newRow("three times") << 1000000u << 3000000u << 100 << 0 << false;
    QTest::newRow("identical, widest window") << 5000u << 5000u << 100 << 0 << false;
    // No similarity is never a detection, however wide the window.
    QTest::newRow("reference 0") << 0u << 1000000u << 100 << std::numeric_limits<int>::min()
                                 << false;
    QTest::newRow("beyond 32 bits") << 1u << 1000000000u << std::numeric_limits<int>::max()
                                    << std::numeric_limits<int>::min() << false;
}

void TestFrameComparison::detectionWindow() {
    QFETCH(quint32, reference);
    QFETCH(quint32, newSum);
    QFETCH(int, sensitivity);
    QFETCH(int, treshold);
    QFETCH(bool, detection);
    const Comparison result = compareFrameSums(reference, newSum, sensitivity, treshold);
    QCOMPARE(result.detection, detection);
    QVERIFY(!result.detection || result.similarity.has_value());
}

void TestFrameComparison::overlappingWindowNeverDetects_data() {
    QTest::addColumn<int>("sensitivity");
    QTest::addColumn<int>("treshold");
    QTest::newRow("60 / 59") << 60 << 59;
    QTest::newRow("50 / 100") << 50 << 100;
}

void TestFrameComparison::overlappingWindowNeverDetects() {
    QFETCH(int, sensitivity);
    QFETCH(int, treshold);
    for (quint32 newSum = 0; newSum <= 3000000; newSum += 2500)
        QVERIFY2(!compareFrameSums(1000000u, newSum, sensitivity, treshold).detection,
                 qPrintable(QString::number(newSum)));
}

void TestFrameComparison::frameSumOfRows_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("padding");

    QTest::newRow("no rows") << 4 << 0 << 0;
    QTest::newRow("rows of width 0") << 0 << 3 << 4;
    QTest::newRow("one pixel") << 1 << 1 << 1;
    QTest::newRow("odd width, padded to 4") << 5 << 3 << 1;
    QTest::newRow("21 pixels: 63 bytes") << 21 << 4 << 1;
    QTest::newRow("22 pixels: 66 bytes") << 22 << 4 << 2;
    QTest::newRow("wide padding") << 7 << 5 << 37;
    QTest::newRow("VGA") << 640 << 480 << 0;
    QTest::newRow("odd large") << 333 << 17 << 1;
}

void TestFrameComparison::frameSumOfRows() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, padding);
    const int bytesPerLine = width * 3 + padding;
    std::vector<uchar> data(size_t(qMax(1, bytesPerLine * height)));
    QRandomGenerator random(uint(width * 7919 + height));
    for (int y = 0; y < height; ++y) {
        uchar* row = data.data() + qsizetype(y) * bytesPerLine;
        for (int i = 0; i < width * 3; ++i)
            row[i] = uchar(random.bounded(256));
        // Padding bytes are never part of the picture.
        for (int i = width * 3; i < bytesPerLine; ++i)
            row[i] = 0xFF;
    }
    QCOMPARE(frameSum(data.data(), width, height, bytesPerLine),
             naiveSum(data, width, height, bytesPerLine));
    if (width > 0 && height > 0) {
        QVERIFY(frameSum(data.data(), width, height, bytesPerLine) <
                quint32(765) * quint32(width * height) + 1);
    }
}

void TestFrameComparison::frameSumWrapsAt32Bits() {
    // 6,000,000 white pixels: 4,590,000,000, which is 295,032,704 after the wrap.
    const int width = 3000, height = 2000;
    const std::vector<uchar> white(size_t(width) * 3 * height, 0xFF);
    QCOMPARE(frameSum(white.data(), width, height, width * 3), quint32(295032704u));
    // 5,614,336 pixels is the most that cannot wrap.
    const std::vector<uchar> limit(size_t(5614336) * 3, 0xFF);
    QCOMPARE(frameSum(limit.data(), 5614336, 1, 5614336 * 3), quint32(4294967040u));
}

void TestFrameComparison::frameSumOfPictures_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("BGR888") << int(QImage::Format_BGR888);
    QTest::newRow("RGB888") << int(QImage::Format_RGB888);
    QTest::newRow("RGB32") << int(QImage::Format_RGB32);
    QTest::newRow("ARGB32") << int(QImage::Format_ARGB32);
}

void TestFrameComparison::frameSumOfPictures() {
    QFETCH(int, format);
    // An odd width, so each 24-bit row carries padding.
    QImage picture(13, 7, QImage::Format_BGR888);
    quint32 expected = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c((x * 37) % 256, (y * 53) % 256, (x * y * 11) % 256);
            picture.setPixelColor(x, y, c);
            expected += c.red() + c.green() + c.blue();
        }
    const QImage converted = picture.convertToFormat(QImage::Format(format));
    QCOMPARE(frameSum(converted), expected);
}

void TestFrameComparison::referenceMovesOnEveryCheck() {
    MotionDetector detector;
    QCOMPARE(detector.LastFrameSum(), 0u);

    // A reference of 0 gives no similarity and no detection, and still moves on.
    Comparison c = detector.compareAndAdvance(1000000, 100, 0);
    QVERIFY(!c.similarity.has_value());
    QVERIFY(!c.detection);
    QCOMPARE(detector.LastFrameSum(), 1000000u);

    c = detector.compareAndAdvance(990000, 100, 0); // a detection
    QCOMPARE(asColumn(c.similarity), 99);
    QVERIFY(c.detection);
    QCOMPARE(detector.LastFrameSum(), 990000u);

    c = detector.compareAndAdvance(0, 100, 0); // not a detection, but the reference moves
    QCOMPARE(asColumn(c.similarity), 0);
    QVERIFY(!c.detection);
    QCOMPARE(detector.LastFrameSum(), 0u);

    c = detector.compareAndAdvance(990000, 100, 0);
    QVERIFY(!c.similarity.has_value());
    QCOMPARE(detector.LastFrameSum(), 990000u);
}

void TestFrameComparison::oneChangeGivesOneDetection() {
    MotionDetector detector;
    detector.setLastFrameSum(1000000);
    const quint32 sums[] = {1000000, 1000400, 999800, 950000, 950000, 950300, 949900, 950000};
    QList<bool> detections;
    for (quint32 sum : sums)
        detections.append(detector.compareAndAdvance(sum, 100, 0).detection);
    QCOMPARE(detections, (QList<bool>{false, false, false, true, false, false, false, false}));
}

QTEST_GUILESS_MAIN(TestFrameComparison)
#include "tst_framecomparison.moc"
