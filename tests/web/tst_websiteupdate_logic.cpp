// The rules of the website update that need no window: the interval taken from the
// field, when a suspension is logged, and the texts it logs, shows and mails.
#include "web/WebsiteUpdate.h"

#include <QTest>
#include <clocale>

using namespace ostrel;

class TestWebsiteUpdateLogic : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Dates as the C library writes them in the C locale: 12/05/26 10:15:30.
        std::setlocale(LC_ALL, "C.UTF-8");
    }

    void intervalFromField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<QString>("shown");
        QTest::newRow("five minutes") << "5" << 300000 << "5";
        QTest::newRow("lowest") << "1" << 60000 << "1";
        QTest::newRow("highest") << "999" << 59940000 << "999";
        QTest::newRow("zero raised to one") << "0" << 60000 << "1";
        QTest::newRow("1000 lowered to 999") << "1000" << 59940000 << "999";
        // Leading zeros are a plain number that needs no clamping: the field keeps them.
        QTest::newRow("leading zeros") << "007" << 420000 << "007";
        QTest::newRow("empty") << "" << 60000 << "1";
        // Minutes whose milliseconds pass a signed 32-bit value must be clamped first.
        QTest::newRow("35792 minutes") << "35792" << 59940000 << "999";
        QTest::newRow("36000 minutes") << "36000" << 59940000 << "999";
        // 2^32 + 1 minutes: wrapped to 32 bits this would be a single minute.
        QTest::newRow("2^32+1 minutes") << "4294967297" << 59940000 << "999";
        // The field takes any number of digits; more than 64 bits hold is still "too many".
        QTest::newRow("twenty digits") << "99999999999999999999" << 59940000 << "999";
        QTest::newRow("forty digits") << QString(40, '9') << 59940000 << "999";
    }
    void intervalFromField() {
        QFETCH(QString, field);
        QFETCH(int, milliseconds);
        QFETCH(QString, shown);
        const UpdateInterval interval = updateIntervalFromField(field);
        QCOMPARE(interval.milliseconds, milliseconds);
        QCOMPARE(interval.fieldText, shown);
    }

    void suspensionLoggedForSecondToSeventhFailure() {
        QList<int> logged;
        for (int failure = 0; failure <= 100; ++failure)
            if (logsSuspension(failure)) logged << failure;
        QCOMPARE(logged, QList<int>({2, 3, 4, 5, 6, 7}));
        QCOMPARE(SuspensionInterval, 600000);
        QCOMPARE(DisableThreshold, 8);
    }

    void disabledMail_data() {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("whenText");
        QTest::newRow("morning") << "Location 1" << QDateTime(QDate(2026, 12, 5), QTime(10, 15, 30))
                                 << "12/05/26 10:15:30";
        // At midnight the date-time text leaves the time out.
        QTest::newRow("midnight") << "Shop      " << QDateTime(QDate(2027, 1, 2), QTime(0, 0))
                                  << "01/02/27";
    }
    void disabledMail() {
        QFETCH(QString, camera);
        QFETCH(QDateTime, when);
        QFETCH(QString, whenText);
        const FailureMail mail = websiteDisabledMail("Ostrel", camera, when);
        QCOMPARE(mail.subject, QString("Ostrel: Notification of Website Update error."));
        const QStringList expected{
            " ",
            "Ostrel:  Notification of Website Update error - Camera: " + camera,
            " ",
            "There were consistent FTP errors while trying the periodic Website Update "
            "function of Ostrel.",
            "The remote host was unreachable and remained unreachable after several attempts "
            "during one hour.",
            " ",
            "Ostrel has stopped trying to update your website on " + whenText +
                " (local system time).",
            " ",
            "Please check your remote host and your network settings."};
        QCOMPARE(mail.lines, expected);
    }

    void textsShownAndLogged() {
        // Nine blanks before the first line, seven before the third, single carriage returns.
        QCOMPARE(DisabledWarning, QString("         Website Update was disabled.\r"
                                          "Reason: consistent FTP errors: host unreachable.\r"
                                          "       Check Host and Network Settings."));
        QVERIFY(!DisabledWarning.contains('\n'));
        QCOMPARE(SuspendedLogEntry, QString(" :   FTP Host unreachable. Website Update will be "
                                            "suspended during 10 minutes."));
        QCOMPARE(DisabledLogEntry, QString(" :   Website Update was disabled. Reason: consistent "
                                           "FTP errors: host unreachable"));
        QCOMPARE(ReestablishedLogEntry, QString(" :   Website Update was reestablished. Reason: "
                                                "FTP Host is reachable again"));
    }
};

QTEST_GUILESS_MAIN(TestWebsiteUpdateLogic)
#include "tst_websiteupdate_logic.moc"
