// The rules of the website update that need no window: the interval taken from the
// field. (Which failures log a suspension is checked failure by failure in
// tst_websiteupdate.)
#include "web/WebsiteUpdate.h"

#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestWebsiteUpdateLogic)
#include "tst_websiteupdate_logic.moc"
