// The rules of the website update that need no window: the interval taken from the
// field, and the mail it sends when it gives up. (Which failures log a suspension is
// checked failure by failure in tst_websiteupdate.)
#include "web/WebsiteUpdate.h"

#include <QTest>
#include <clocale>

using namespace ostrel;

class TestWebsiteUpdateLogic : public QObject {
    Q_OBJECT
private slots:
    void intervalFromField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<QString>("shown");
        QTest::newRow("highest") << "999" << 59940000 << "999";
        QTest::newRow("zero raised to one") << "0" << 60000 << "1";
        QTest::newRow("1000 lowered to 999") << "1000" << 59940000 << "999";
        // Leading zeros are a plain number that needs no clamping: the field keeps them.
        QTest::newRow("leading zeros") << "007" << 420000 << "007";
        QTest::newRow("empty") << "" << 60000 << "1";
        // Minutes whose milliseconds pass a signed 32-bit value must be clamped first.
        QTest::newRow("35792 minutes") << "35792" << 59940000 << "999";
        // 2^32 + 1 minutes: wrapped to 32 bits this would be a single minute.
        QTest::newRow("2^32+1 minutes") << "4294967297" << 59940000 << "999";
        // The field takes any number of digits; more than 64 bits hold is still "too many".
        QTest::newRow("twenty digits") << "99999999999999999999" << 59940000 << "999";
    }

    void intervalFromField() {
        QFETCH(QString, field);
        QFETCH(int, milliseconds);
        QFETCH(QString, shown);
        const UpdateInterval interval = updateIntervalFromField(field);
        QCOMPARE(interval.milliseconds, milliseconds);
        QCOMPARE(interval.fieldText, shown);
    }

    // The program's name, the camera and the date-time text go into the mail; the rest of
    // its text is fixed.
    void disabledMail() {
        std::setlocale(LC_ALL, "C.UTF-8"); // dates as the C library writes them: 12/05/26
        const QDateTime when(QDate(2026, 12, 5), QTime(10, 15, 30));
        const FailureMail mail = websiteDisabledMail("App", "Shop      ", when);
        QCOMPARE(mail.subject, QString("App: Notification of Website Update error."));
        QCOMPARE(mail.lines.size(), 9);
        QCOMPARE(mail.lines[1], "App:  Notification of Website Update error - Camera: Shop      ");
        QVERIFY(mail.lines[3].endsWith(" periodic Website Update function of App."));
        QCOMPARE(mail.lines[6], "App has stopped trying to update your website on 12/05/26 "
                                "10:15:30 (local system time).");
    }
};

QTEST_GUILESS_MAIN(TestWebsiteUpdateLogic)
#include "tst_websiteupdate_logic.moc"
