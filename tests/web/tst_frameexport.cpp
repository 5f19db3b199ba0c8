// The export of the website update: Capture.jpg from the camera, the failure report for
// each caller, the padded camera name, and the stamp picture with its date and time,
// which keeps whatever a new, shorter text does not cover.
#include "JpegCheck.h"
#include "capture/Bitmap.h"
#include "capture/VideoCapture.h"
#include "platform/ScriptedDesktop.h"
#include "web/FrameExport.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <clocale>

using namespace ostrel;
using namespace ostrel::test;

namespace {

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isRed(QRgb c) {
    return c == qRgb(255, 0, 0);
}

int columnDifferences(const QImage& a, const QImage& b, int fromX, int toX) {
    int n = 0;
    for (int x = fromX; x < toX; ++x)
        for (int y = 0; y < a.height(); ++y)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

int nonRedPixels(const QImage& picture, int fromX, int toX) {
    int n = 0;
    for (int x = fromX; x < toX; ++x)
        for (int y = 0; y < picture.height(); ++y)
            n += isRed(picture.pixel(x, y)) ? 0 : 1;
    return n;
}

} // namespace

class TestFrameExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void padCameraName_data();
    void padCameraName();
    void stampText_data();
    void stampText();

    void noDriver_data();
    void noDriver();
    void virtualCamera();

    void firstStampIsRedWithBlackText();
    void shorterTextLeavesOldTail();
    void stampOfAnotherSizeStartsRed();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
};

void TestFrameExport::initTestCase() {
    // Dates as the C library writes them in the C locale: 12/05/26 10:15:30.
    std::setlocale(LC_ALL, "C.UTF-8");
}

void TestFrameExport::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_ = dir_->path() + QLatin1Char('/');
}

void TestFrameExport::padCameraName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("padded");
    QTest::newRow("ten") << QStringLiteral("Location 1") << QStringLiteral("Location 1");
    QTest::newRow("three") << QStringLiteral("Cam") << QStringLiteral("Cam       ");
    QTest::newRow("nine") << QStringLiteral("Garden 12") << QStringLiteral("Garden 12 ");
    QTest::newRow("one") << QStringLiteral("A") << QStringLiteral("A         ");
    QTest::newRow("empty: nine blanks") << QString() << QString(9, QLatin1Char(' '));
    QTest::newRow("twelve") << QStringLiteral("Front door 2") << QStringLiteral("Front door 2");
}

void TestFrameExport::padCameraName() {
    QFETCH(QString, name);
    QFETCH(QString, padded);
    ostrel::padCameraName(name);
    QCOMPARE(name, padded);
    ostrel::padCameraName(name); // a second export changes nothing more
    QCOMPARE(name, padded.size() < 10 ? padded + QLatin1Char(' ') : padded);
}

void TestFrameExport::stampText_data() {
    QTest::addColumn<QString>("camera");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    const QDate day(2026, 12, 5);
    QTest::newRow("Location 1") << QStringLiteral("Location 1") << QDateTime(day, QTime(10, 15, 30))
                                << QStringLiteral(" Location 1 12/05/26 10:15:30 ");
    QTest::newRow("midnight: no time")
        << QStringLiteral("Location 1") << QDateTime(day, QTime(0, 0))
        << QStringLiteral(" Location 1 12/05/26 ");
    QTest::newRow("empty name, padded")
        << QString(9, QLatin1Char(' ')) << QDateTime(day, QTime(7, 0, 1))
        << QString(10, QLatin1Char(' ')) + QStringLiteral(" 12/05/26 07:00:01 ");
}

void TestFrameExport::stampText() {
    QFETCH(QString, camera);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(ostrel::stampText(camera, when), text);
}

void TestFrameExport::noDriver_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("logEntry");
    QTest::addColumn<bool>("writeNow");
    QTest::newRow("start") << int(ExportKind::Start)
                           << QStringLiteral(" :   Could not save captured frame to disk") << false;
    QTest::newRow("tick") << int(ExportKind::Tick)
                          << QStringLiteral(
                                 " :   Video Error = Could not save captured frame to disk")
                          << true;
}

void TestFrameExport::noDriver() {
    QFETCH(int, kind);
    QFETCH(QString, logEntry);
    QFETCH(bool, writeNow);
    ScriptedDesktop desktop;
    desktop.clock = QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30));
    TVideoCapture video(systemDrivers(folder_), folder_); // nothing open
    QString camera = QStringLiteral("Cam");
    QImage stamp;
    QList<FrameSaveFailure> failures;

    const ExportResult result =
        exportFrameAndStamp(video, folder_, ExportKind(kind), camera, stamp,
                            [&](const FrameSaveFailure& f) { failures.append(f); });
    QVERIFY(!result.frameSaved);
    QVERIFY(result.jpegPath.isEmpty());
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures[0].logEntry, logEntry);
    QCOMPARE(failures[0].writeLogNow, writeNow);
    QCOMPARE(failures[0].statusText,
             QStringLiteral("ERROR: Could not save captured frame to disk"));
    QVERIFY(!QFile::exists(folder_ + QStringLiteral("Capture.jpg")));
    QCOMPARE(camera, QStringLiteral("Cam       "));

    // The stamp is still written: 200 x 18, 24 bits, bottom-up.
    const QByteArray file = readAll(folder_ + QStringLiteral("datetime.bmp"));
    QCOMPARE(file.size(), 54 + 200 * 3 * 18);
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 18), 200);
    QCOMPARE(qFromLittleEndian<qint32>(file.constData() + 22), 18);
    QCOMPARE(qFromLittleEndian<quint16>(file.constData() + 28), quint16(24));
    QCOMPARE(bitmap::decode(file), stamp.convertToFormat(QImage::Format_BGR888));

    // An earlier Capture.jpg stays as it was.
    QFile earlier(folder_ + QStringLiteral("Capture.jpg"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier frame");
    earlier.close();
    exportFrameAndStamp(video, folder_, ExportKind(kind), camera, stamp, {});
    QCOMPARE(readAll(folder_ + QStringLiteral("Capture.jpg")), QByteArray("earlier frame"));
}

void TestFrameExport::virtualCamera() {
    ScriptedDesktop desktop;
    desktop.clock = QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30));
    QFile sif(folder_ + QStringLiteral("vcap.sif"));
    QVERIFY(sif.open(QIODevice::WriteOnly));
    sif.write("[Virtual Camera]\nMotion_Interval=0\n");
    sif.close();
    TVideoCapture video(systemDrivers(folder_), folder_);
    video.setDriverIndex(0);
    video.setDriverOpen(true);
    QString camera = QStringLiteral("Location 1");
    QImage stamp;
    int failures = 0;

    const ExportResult result = exportFrameAndStamp(video, folder_, ExportKind::Tick, camera, stamp,
                                                    [&](const FrameSaveFailure&) { ++failures; });
    QVERIFY(result.frameSaved);
    QCOMPARE(failures, 0);
    QCOMPARE(result.bitmapPath, folder_ + QStringLiteral("Capture.bmp"));
    QCOMPARE(result.jpegPath, folder_ + QStringLiteral("Capture.jpg"));
    QCOMPARE(camera, QStringLiteral("Location 1"));

    const DecodedJpeg jpeg = decodeJpeg(readAll(result.jpegPath));
    QVERIFY(jpeg.ok);
    QCOMPARE(QSize(jpeg.width, jpeg.height), QSize(640, 480));
    const double difference = meanDifference(jpeg.picture, bitmap::load(result.bitmapPath));
    QVERIFY2(difference < 6.0, qPrintable(QString::number(difference)));
    QCOMPARE(bitmap::load(folder_ + QStringLiteral("datetime.bmp")).size(), QSize(200, 18));
}

void TestFrameExport::firstStampIsRedWithBlackText() {
    QImage stamp;
    drawStamp(stamp, QStringLiteral(" Cam "));
    QCOMPARE(stamp.size(), QSize(200, 18));
    // Text at the top left, black on red; the rest of a fresh picture is red.
    QVERIFY(nonRedPixels(stamp, 0, 40) > 10);
    QCOMPARE(nonRedPixels(stamp, 60, 200), 0);
    int darkest = 255;
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 18; ++y)
            darkest = qMin(darkest, qGray(stamp.pixel(x, y)));
    QVERIFY2(darkest < 40, qPrintable(QString::number(darkest)));
    for (int x = 0; x < 200; ++x)
        QVERIFY(isRed(stamp.pixel(x, 17))); // below the text
}

void TestFrameExport::shorterTextLeavesOldTail() {
    ScriptedDesktop desktop;
    TVideoCapture video(systemDrivers(folder_), folder_);
    QString camera = QStringLiteral("Location 1");
    QImage stamp;

    desktop.clock = QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59));
    exportFrameAndStamp(video, folder_, ExportKind::Tick, camera, stamp, {});
    const QImage first = stamp.copy();
    // At midnight the time is left out: " Location 1 12/06/26 " is shorter.
    desktop.clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0));
    exportFrameAndStamp(video, folder_, ExportKind::Tick, camera, stamp, {});

    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(10);
    QImage probe(1, 1, QImage::Format_RGB888);
    probe.setDotsPerMeterX(3780);
    probe.setDotsPerMeterY(3780);
    const int newWidth =
        QFontMetrics(font, &probe).horizontalAdvance(QStringLiteral(" Location 1 12/06/26 "));
    QVERIFY2(newWidth > 100 && newWidth < 190, qPrintable(QString::number(newWidth)));

    // Right of the new text the old one is untouched and still visible.
    QCOMPARE(columnDifferences(first, stamp, newWidth + 1, 200), 0);
    QVERIFY(nonRedPixels(stamp, newWidth + 1, 200) > 10);
    // Under the new text nothing of the old one shows through: that part looks as if
    // it were drawn on a fresh picture.
    QImage fresh;
    drawStamp(fresh, QStringLiteral(" Location 1 12/06/26 "));
    QCOMPARE(columnDifferences(fresh, stamp, 0, newWidth), 0);
    QVERIFY(columnDifferences(first, stamp, 0, newWidth) > 0);
    QCOMPARE(bitmap::load(folder_ + QStringLiteral("datetime.bmp")),
             stamp.convertToFormat(QImage::Format_BGR888));
}

void TestFrameExport::stampOfAnotherSizeStartsRed() {
    QImage stamp(50, 50, QImage::Format_ARGB32);
    stamp.fill(Qt::green);
    drawStamp(stamp, QStringLiteral(" "));
    QCOMPARE(stamp.size(), QSize(200, 18));
    QCOMPARE(nonRedPixels(stamp, 0, 200), 0);
}

QTEST_MAIN(TestFrameExport)
#include "tst_frameexport.moc"
