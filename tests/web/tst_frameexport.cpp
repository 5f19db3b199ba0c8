// The export of the website update: the failure report for each caller when no frame can be
// saved, the padded camera name, and the stamp picture with its date and time, which keeps
// whatever a new, shorter text does not cover.
#include "../common/FreshFolder.h"
#include "../net/NetTestUtil.h"
#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"
#include "platform/ScriptedDesktop.h"
#include "web/FrameExport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <clocale>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString NotSaved = QStringLiteral(
    "Could not save captured frame to disk: No picture came from the capture device");

// Pixels in columns [fromX, toX) that differ from `other`, or that are not red when
// `other` is null.
int differences(const QImage& picture, int fromX, int toX, const QImage& other = {}) {
    int n = 0;
    for (int x = fromX; x < toX; ++x)
        for (int y = 0; y < picture.height(); ++y)
            n += picture.pixel(x, y) != (other.isNull() ? qRgb(255, 0, 0) : other.pixel(x, y));
    return n;
}

} // namespace

class TestFrameExport : public QObject {
    Q_OBJECT
    FreshFolder folder_;

private slots:
    void initTestCase() {
        // Dates as the C library writes them in the C locale: 12/05/26 10:15:30.
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void init() { QVERIFY(folder_.renew()); }

    void padCameraName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("padded");
        for (const auto& [name, padded] : {std::pair{"Location 1", "Location 1"},
                                           {"Garden 12", "Garden 12 "},
                                           {"", "         "},
                                           {"Front door 2", "Front door 2"}})
            QTest::addRow("'%s'", name) << QString(name) << QString(padded);
    }

    void padCameraName() {
        QFETCH(QString, name);
        QFETCH(QString, padded);
        ostrel::padCameraName(name);
        QCOMPARE(name, padded);
        ostrel::padCameraName(name); // a second export changes nothing more
        QCOMPARE(name, padded.size() < 10 ? padded + QLatin1Char(' ') : padded);
        QCOMPARE(stampText(name, QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30))),
                 " " + name + " 12/05/26 10:15:30 ");
    }

    // Without a camera: the caller's failure report with the device's reason, no Capture.jpg (an
    // earlier one stays), and the stamp is made all the same. A frame from the virtual camera
    // reaches the host in the website update's tests.
    void exportFrameWithoutCamera_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("logEntry");
        QTest::addColumn<bool>("writeNow");
        QTest::newRow("start") << int(ExportKind::Start) << " :   " + NotSaved << false;
        QTest::newRow("tick") << int(ExportKind::Tick) << " :   Video Error = " + NotSaved << true;
    }

    void exportFrameWithoutCamera() {
        QFETCH(int, kind);
        QFETCH(QString, logEntry);
        QFETCH(bool, writeNow);
        ScriptedDesktop desktop;
        desktop.clock = QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30));
        TVideoCapture video(systemDrivers(folder_.path), folder_.path);
        video.setDriverOpen(false);
        QString name = QStringLiteral("Cam");
        QImage stamp;
        QList<FrameSaveFailure> failures;
        const auto collect = [&](const FrameSaveFailure& f) { failures.append(f); };
        for (const QByteArray& earlier : {QByteArray(), QByteArray("earlier frame")}) {
            if (!earlier.isEmpty()) QVERIFY(writeFile(folder_.path + "Capture.jpg", earlier));
            const ExportResult result =
                exportFrameAndStamp(video, folder_.path, ExportKind(kind), name, stamp, collect);
            QVERIFY(!result.frameSaved);
            QCOMPARE(result.bitmapPath, QString());
            QCOMPARE(result.jpegPath, QString());
            QCOMPARE(readFile(folder_.path + "Capture.jpg"),
                     earlier.isEmpty() ? QByteArray("<missing>") : earlier);
        }
        QCOMPARE(failures.size(), 2);
        for (const FrameSaveFailure& failure : failures) {
            QCOMPARE(failure.logEntry, logEntry);
            QCOMPARE(failure.writeLogNow, writeNow);
            QCOMPARE(failure.statusText, "ERROR: " + NotSaved);
        }
        QCOMPARE(name, QStringLiteral("Cam       "));
        QImage expected;
        drawStamp(expected, stampText(name, desktop.clock));
        QCOMPARE(stamp, expected);
        QCOMPARE(bitmap::load(folder_.path + "datetime.bmp"),
                 stamp.convertToFormat(QImage::Format_BGR888));
    }

    void shorterTextLeavesOldTail() {
        ScriptedDesktop desktop;
        TVideoCapture video(systemDrivers(folder_.path), folder_.path);
        QString camera = QStringLiteral("Location 1");
        QImage stamp;
        desktop.clock = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59));
        exportFrameAndStamp(video, folder_.path, ExportKind::Tick, camera, stamp, {});
        const QImage first = stamp.copy();
        // At midnight the time is left out: " Location 1 01/01/27 " is shorter.
        desktop.clock = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
        exportFrameAndStamp(video, folder_.path, ExportKind::Tick, camera, stamp, {});

        // Right of the new text the old one is untouched and still visible; the new text
        // covers a bit more than half of the old one's length.
        int edge = 200;
        while (edge > 0 && differences(stamp, edge - 1, edge, first) == 0)
            --edge;
        QCOMPARE_GT(edge, 100);
        QCOMPARE_LT(edge, 190);
        QCOMPARE_GT(differences(stamp, edge, 200), 10);
        // Under the new text nothing of the old one shows through: it looks as if drawn on
        // a fresh picture, which is black text on red (one of another size is replaced).
        QImage fresh(50, 50, QImage::Format_ARGB32);
        fresh.fill(Qt::green);
        drawStamp(fresh, QStringLiteral(" Location 1 01/01/27 "));
        QCOMPARE(fresh.size(), QSize(200, 18));
        QCOMPARE(differences(stamp, 0, edge, fresh), 0);
        QCOMPARE(differences(fresh, edge, 200), 0);
        QCOMPARE(differences(fresh.copy(0, 17, 200, 1), 0, 200), 0); // below the text
        int darkest = 255;
        for (int x = 0; x < edge; ++x)
            darkest = qMin(darkest, qGray(fresh.pixel(x, 8)));
        QCOMPARE_LT(darkest, 40);
    }
};

QTEST_MAIN(TestFrameExport)
#include "tst_frameexport.moc"
