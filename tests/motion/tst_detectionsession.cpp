// The names, numbers and mail texts of a detection session, in the C locale the tests run
// under (LC_ALL=C.UTF-8: short date MM/DD/YY, long time HH:MM:SS).
#include "motion/DetectionSession.h"

#include <QTest>
#include <clocale>

using namespace ostrel;

namespace {
const QDateTime Start(QDate(2026, 12, 5), QTime(10, 15, 30));
}

class TestDetectionSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sessionName_data();
    void sessionName();
    void remoteName_data();
    void remoteName();
    void imageNumbersWrapAfter999();
    void countText();
    void notificationMail();
    void imageMail();
};

void TestDetectionSession::initTestCase() {
    // The names depend on the locale's date format; pin it whatever the caller has set.
    QVERIFY(std::setlocale(LC_ALL, "C.UTF-8") || std::setlocale(LC_ALL, "C"));
}

void TestDetectionSession::sessionName_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QString>("name");
    QTest::newRow("morning") << Start << "12-05-26_10.15.30";
    QTest::newRow("evening") << QDateTime(QDate(2025, 1, 31), QTime(23, 59, 59))
                             << "01-31-25_23.59.59";
    // Exactly midnight has no time part, so no trailing "_" either.
    QTest::newRow("midnight") << QDateTime(QDate(2026, 12, 5), QTime(0, 0)) << "12-05-26";
    QTest::newRow("one second past")
        << QDateTime(QDate(2026, 12, 5), QTime(0, 0, 1)) << "12-05-26_00.00.01";
    QTest::newRow("noon") << QDateTime(QDate(2000, 2, 29), QTime(12, 0)) << "02-29-00_12.00.00";
}

void TestDetectionSession::sessionName() {
    QFETCH(QDateTime, start);
    QFETCH(QString, name);
    const QString got = motionSessionName(start);
    QCOMPARE(got, name);
    for (QChar c : {QChar(':'), QChar('/'), QChar(' ')})
        QVERIFY2(!got.contains(c), qPrintable(got));
}

void TestDetectionSession::remoteName_data() {
    QTest::addColumn<QString>("session");
    QTest::addColumn<QTime>("detection");
    QTest::addColumn<QString>("name");
    QTest::newRow("same day") << "12-05-26_10.15.30" << QTime(10, 16, 2)
                              << "12-05-26_10.15.30_10.16.02.jpg";
    // The detection's time is always written out, midnight included.
    QTest::newRow("at midnight") << "12-05-26_23.59.58" << QTime(0, 0)
                                 << "12-05-26_23.59.58_00.00.00.jpg";
    QTest::newRow("midnight session") << "12-05-26" << QTime(0, 0, 5) << "12-05-26_00.00.05.jpg";
    // Whatever the session name holds is made safe again with the rest.
    QTest::newRow("raw session text")
        << "12/05/26 10:15:30" << QTime(10, 16, 2) << "12-05-26_10.15.30_10.16.02.jpg";
}

void TestDetectionSession::remoteName() {
    QFETCH(QString, session);
    QFETCH(QTime, detection);
    QFETCH(QString, name);
    QCOMPARE(motionRemoteName(session, detection), name);
}

void TestDetectionSession::imageNumbersWrapAfter999() {
    QCOMPARE(motionImageName(1), QString("image001.jpg"));
    QCOMPARE(motionImageName(42), QString("image042.jpg"));
    QCOMPARE(motionImageName(999), QString("image999.jpg"));

    // A whole session's worth of detections, the counter starting at 0.
    int counter = 0;
    QStringList names;
    for (int detection = 1; detection <= 2001; ++detection) {
        counter = nextMotionImageNumber(counter);
        QVERIFY(counter >= 1 && counter <= 999);
        names << motionImageName(counter);
    }
    QCOMPARE(names[0], QString("image001.jpg"));
    QCOMPARE(names[998], QString("image999.jpg"));
    QCOMPARE(names[999], QString("image001.jpg")); // detection 1000 replaces the first file
    QCOMPARE(names[1000], QString("image002.jpg"));
    QCOMPARE(names[1997], QString("image999.jpg"));
    QCOMPARE(names[1998], QString("image001.jpg"));
    QCOMPARE(names.mid(0, 999), names.mid(999, 999));
}

void TestDetectionSession::countText() {
    QCOMPARE(detectCountText(0), QString(" Latest Motion Detection Count: 0 "));
    QCOMPARE(detectCountText(1), QString(" Latest Motion Detection Count: 1 "));
    QCOMPARE(detectCountText(1000), QString(" Latest Motion Detection Count: 1000 "));
}

void TestDetectionSession::notificationMail() {
    const MailText m = ostrel::notificationMail("Ostrel", "Location 1",
                                                QDateTime(QDate(2026, 12, 5), QTime(10, 16, 2)));
    QCOMPARE(m.subject, QString("Ostrel: motion detection notification."));
    const QStringList lines{
        " ",
        "Ostrel: motion detection notification - Camera: Location 1",
        " ",
        "Movement was detected on 12/05/26 10:16:02 (local system time).",
        " ",
        "These are the date and time of the first detection only.",
        "Subsequent detections during the same session are not notified.",
        "Please check the image files uploaded to your remote FTP server.",
    };
    QCOMPARE(m.lines, lines);

    // A camera name padded by the website update keeps its blanks; midnight has no time.
    const MailText padded = ostrel::notificationMail("Ostrel", "Shop      ",
                                                     QDateTime(QDate(2026, 12, 5), QTime(0, 0)));
    QCOMPARE(padded.lines.size(), 8);
    QCOMPARE(padded.lines[1],
             QString("Ostrel: motion detection notification - Camera: Shop      "));
    QCOMPARE(padded.lines[3], QString("Movement was detected on 12/05/26 (local system time)."));
}

void TestDetectionSession::imageMail() {
    const MailText m = ostrel::imageMail("Ostrel", "Garage", "12-05-26_10.15.30",
                                         "12-05-26_10.15.30_10.16.02.jpg");
    QCOMPARE(m.subject, QString("Ostrel Garage motion detection - Session: 12-05-26_10.15.30"));
    QCOMPARE(m.lines, QStringList({"Ostrel - Camera: Garage", "(Date__Session Start__Time)",
                                   "12-05-26_10.15.30_10.16.02.jpg"}));
}

QTEST_APPLESS_MAIN(TestDetectionSession)
#include "tst_detectionsession.moc"
