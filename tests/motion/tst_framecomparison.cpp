// The pure parts of motion detection. The frame sum and the comparison of two
// sums: the worked values, the rounding of halves, the strict window of the
// sliders, the 32-bit corner cases, and the reference carried from check to
// check. The names and numbers of a detection session, in the locale the
// tests run under (LC_ALL=C.UTF-8: short date MM/DD/YY, long time HH:MM:SS).
#include "motion/DetectionSession.h"
#include "motion/FrameComparison.h"
#include "motion/MotionDetector.h"
#include "platform/DateTimeText.h"

#include <QRandomGenerator>
#include <QTest>
#include <clocale>
#include <limits>
#include <vector>

using namespace ostrel;

namespace {
constexpr int NoSimilarity = std::numeric_limits<int>::min() + 1; // marker in test data
int asColumn(const std::optional<int>& s) {
    return s ? *s : NoSimilarity;
}
} // namespace

class TestFrameComparison : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(std::setlocale(LC_ALL, "C.UTF-8")); }

    void comparison_data() {
        QTest::addColumn<quint32>("reference");
        QTest::addColumn<quint32>("newSum");
        QTest::addColumn<int>("similarity");
        QTest::addColumn<bool>("detection"); // with the sliders at 100 and 0
        // The worked table.
        QTest::newRow("unchanged") << 1000000u << 1000000u << 100 << false;
        QTest::newRow("99.4") << 1000000u << 994000u << 99 << true;
        QTest::newRow("black frame") << 1000000u << 0u << 0 << false;
        QTest::newRow("three times") << 1000000u << 3000000u << -100 << false; // 100 * (1 - 2)
        // Exact halves go to the even neighbour, in both directions and on both
        // sides of 0.
        QTest::newRow("99.5 up to 100") << 200u << 199u << 100 << false;
        QTest::newRow("98.5 down to 98") << 200u << 197u << 98 << true;
        QTest::newRow("98.5 from above") << 1000000u << 1015000u << 98 << true;
        QTest::newRow("-72.5 up to -72") << 40u << 109u << -72 << false;
        QTest::newRow("-77.5 down to -78") << 40u << 111u << -78 << false;
        if constexpr (std::numeric_limits<long double>::digits == 64) {
            // In the 80-bit format these land just beside the half
            // (27.4999…, 22.5000…), where double precision lands on the other side.
            QTest::newRow("extended 27.4999") << 40u << 11u << 27 << true;
            QTest::newRow("extended 22.5000") << 40u << 9u << 23 << true;
            QTest::newRow("extended -7.5000") << 40u << 83u << -8 << false;
        }
        // The difference is taken in 32 bits and read as a signed number:
        // 500,000,000 minus 3,000,000,000 reads as 1,794,967,296, not
        // 2,500,000,000.
        QTest::newRow("signed reading") << 3000000000u << 500000000u << 40 << true;
        QTest::newRow("difference of 2^31") << 2147483658u << 10u << 0 << false;
        QTest::newRow("just fits 32 bits") << 1u << 21474838u << -2147483600 << false;
        QTest::newRow("reference 0") << 0u << 123456u << NoSimilarity << false;
        QTest::newRow("beyond 32 bits") << 1u << 21474839u << NoSimilarity << false;
    }

    void comparison() {
        QFETCH(quint32, reference);
        QFETCH(quint32, newSum);
        QFETCH(int, similarity);
        QFETCH(bool, detection);
        const Comparison c = compareFrameSums(reference, newSum, 100, 0);
        QCOMPARE(asColumn(c.similarity), similarity);
        QCOMPARE(c.detection, detection);
        constexpr int most = std::numeric_limits<int>::max(),
                      least = std::numeric_limits<int>::min();
        if (!c.similarity) { // no similarity is never a detection, however wide the
                             // window
            QVERIFY(!compareFrameSums(reference, newSum, most, least).detection);
            return;
        }
        const int s = *c.similarity; // both bounds of the window are strict
        QVERIFY(compareFrameSums(reference, newSum, s + 1, s - 1).detection);
        QVERIFY(!compareFrameSums(reference, newSum, s, least).detection);
        QVERIFY(!compareFrameSums(reference, newSum, most, s).detection);
    }

    void frameSumOfRows_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("padding");
        QTest::newRow("rows of width 0") << 0 << 3 << 4;
        QTest::newRow("odd width, padded to 4") << 5 << 3 << 1;
        QTest::newRow("21 pixels: 63 bytes") << 21 << 4 << 1;
        QTest::newRow("22 pixels: 66 bytes") << 22 << 4 << 2;
        QTest::newRow("wide padding") << 7 << 5 << 37;
        QTest::newRow("VGA") << 640 << 480 << 0;
    }

    void frameSumOfRows() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, padding);
        // Random picture bytes, padding bytes 0xFF: padding is never part of the
        // picture.
        const int bytesPerLine = width * 3 + padding;
        std::vector<uchar> data(size_t(qMax(1, bytesPerLine * height)), 0xFF);
        QRandomGenerator random(uint(width * 7919 + height));
        quint32 expected = 0;
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < width * 3; ++i)
                expected += data[size_t(y * bytesPerLine + i)] = uchar(random.bounded(256));
        QCOMPARE(frameSum(data.data(), width, height, bytesPerLine), expected);
        if (bytesPerLine % 4 != 0 || height == 0) return;
        // A picture: 24-bit ones are summed in place, others converted first.
        const QImage picture(data.data(), width, height, bytesPerLine, QImage::Format_BGR888);
        QCOMPARE(frameSum(picture), expected);
        QCOMPARE(frameSum(picture.convertToFormat(QImage::Format_RGB888)), expected);
        QCOMPARE(frameSum(picture.convertToFormat(QImage::Format_ARGB32)), expected);
    }

    void frameSumWrapsAt32Bits() {
        // 6,000,000 white pixels: 4,590,000,000, which is 295,032,704 after the wrap.
        const std::vector<uchar> white(size_t(3000) * 3 * 2000, 0xFF);
        QCOMPARE(frameSum(white.data(), 3000, 2000, 3000 * 3), quint32(295032704u));
        // 5,614,336 pixels is the most that cannot wrap.
        QCOMPARE(frameSum(white.data(), 5614336, 1, 5614336 * 3), quint32(4294967040u));
    }

    void referenceMovesOnEveryCheck() {
        // 0 at the start: no similarity, and yet the reference moves on.
        MotionDetector detector;
        QVERIFY(!detector.compareAndAdvance(1000000, 100, 0).similarity);
        QVERIFY(detector.compareAndAdvance(990000, 100, 0).detection);
        // Compared with the check before, not with the first one.
        QCOMPARE(asColumn(detector.compareAndAdvance(990000, 100, 0).similarity), 100);
        QCOMPARE(asColumn(detector.compareAndAdvance(0, 100, 0).similarity), 0);
        QCOMPARE(detector.LastFrameSum(), 0u);
    }

    void sessionNames_data() {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QTime>("detection");
        QTest::addColumn<QString>("session");
        QTest::addColumn<QString>("remote");
        const QDate day(2026, 12, 5);
        // The detection's time is always written out, midnight included.
        QTest::newRow("detection at midnight") << QDateTime(QDate(2025, 1, 31), QTime(23, 59, 59))
                                               << QTime(0, 0) << "01-31-25_23.59.59"
                                               << "01-31-25_23.59.59_00.00.00.jpg";
        // A session started exactly at midnight has no time part, so no trailing "_".
        QTest::newRow("session at midnight")
            << QDateTime(day, QTime(0, 0)) << QTime(0, 0, 5) << "12-05-26"
            << "12-05-26_00.00.05.jpg";
        QTest::newRow("one second past")
            << QDateTime(day, QTime(0, 0, 1)) << QTime(0, 0, 1) << "12-05-26_00.00.01"
            << "12-05-26_00.00.01_00.00.01.jpg";
    }

    void sessionNames() {
        QFETCH(QDateTime, start);
        QFETCH(QTime, detection);
        QFETCH(QString, session);
        QFETCH(QString, remote);
        QCOMPARE(motionSessionName(start), session);
        QCOMPARE(motionRemoteName(session, detection), remote);
        // Whatever the session name holds is made safe again with the rest.
        QCOMPARE(motionRemoteName(dateTimeToStr(start), detection), remote);
    }

    // A session's counter starts at 0, and detection 1000 replaces the first file.
    void imageNumbersWrapAfter999() {
        QCOMPARE(motionImageName(nextMotionImageNumber(0)), QString("image001.jpg"));
        QCOMPARE(motionImageName(nextMotionImageNumber(41)), QString("image042.jpg"));
        QCOMPARE(nextMotionImageNumber(998), 999);
        QCOMPARE(nextMotionImageNumber(999), 1);
    }
};

QTEST_GUILESS_MAIN(TestFrameComparison)
#include "tst_framecomparison.moc"
