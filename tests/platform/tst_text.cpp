// Text conversions of the platform layer: integers, date-time text, paths, dialog filters.
#include "platform/DateTimeText.h"
#include "platform/Exception.h"
#include "platform/ProgramFolder.h"
#include "platform/QtDesktop.h"

#include <QTest>

#include <clocale>
#include <tuple>

using namespace ostrel;

class TestText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The date tests read the C library's locale; pin it whatever the environment says.
        QVERIFY(std::setlocale(LC_ALL, "C.UTF-8"));
    }

    // Leading blanks (not tabs), an optional sign, decimal or "$"/"0x"/"0X" hexadecimal
    // digits, and nothing after them. Decimal fits a signed 32-bit integer; hexadecimal may
    // use all 32 bits.
    void strToInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("expected");
        const int min = -2147483647 - 1;
        for (const auto& [text, value] : {std::pair{"   7", 7},
                                          {"-45", -45},
                                          {"+45", 45},
                                          {"007", 7},
                                          {"$ff", 255},
                                          {"0xFF", 255},
                                          {"0X1f", 31},
                                          {"-$10", -16},
                                          {"2147483647", 2147483647},
                                          {"-2147483648", min},
                                          {"$80000000", min},
                                          {"0xFFFFFFFF", -1}})
            QTest::addRow("'%s'", text) << QString(text) << true << value;
        for (const char* text :
             {"7 ", "2147483648", "-2147483649", "$100000000", "99999999999999999999", "", " ", "+",
              "$", "0x", "--1", "12a", "\t1", "\xd9\xa3" /* a non-ASCII digit */})
            QTest::addRow("'%s'", text) << QString::fromUtf8(text) << false << 0;
    }

    void strToInt() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, expected);
        QCOMPARE(strToIntDef(text, -777), valid ? expected : -777);
        QString error;
        try {
            QCOMPARE(ostrel::strToInt(text), expected);
        } catch (const EConvertError& e) {
            error = e.message();
        }
        QCOMPARE(error,
                 valid ? QString() : QStringLiteral("'%1' is not a valid integer value").arg(text));
    }

    // Under the C locale: short date and time (midnight, which leaves the time out, is
    // checked with the session names in tst_framecomparison).
    void dateTimeText_data() {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        for (const auto& [name, date, time, text] :
             {std::tuple{"afternoon", QDate(2026, 12, 5), QTime(14, 3, 9), "12/05/26 14:03:09"},
              {"no date-time, no text", QDate(), QTime(), ""}})
            QTest::newRow(name) << QDateTime(date, time) << QString(text);
    }

    void dateTimeText() {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(dateTimeToStr(when), text);
    }

    // The file-name-safe form is checked with the session names in tst_framecomparison.
    void longDate() {
        QCOMPARE(longDateTimeText(QDateTime(QDate(2026, 3, 4), QTime(7, 8, 9))),
                 QStringLiteral("04 March 2026 07:08:09"));
    }

    void paths_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("slashed");
        QTest::addColumn<QString>("resolved");
        for (const auto& [row, folder, name, slashed, resolved] :
             {std::tuple{"plain", "/opt/ostrel", "Error.log", "/opt/ostrel/",
                         "/opt/ostrel/Error.log"},
              {"trailing slashes collapse", "/opt/ostrel//", "a", "/opt/ostrel/", "/opt/ostrel/a"},
              {"backslashes", "/opt/ostrel", "Server\\ostrel.bkp", "/opt/ostrel/",
               "/opt/ostrel/Server/ostrel.bkp"},
              {"absolute name stays", "/opt/ostrel", "/tmp/x", "/opt/ostrel/", "/tmp/x"},
              {"root", "/", "x", "/", "/x"},
              {"no folder never means root", "", "x", "", "x"}})
            QTest::newRow(row) << QString(folder) << QString(name) << QString(slashed)
                               << QString(resolved);
    }

    void paths() {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, slashed);
        QFETCH(QString, resolved);
        QCOMPARE(withSlash(folder), slashed);
        QCOMPARE(resolveIn(folder, name), resolved);
    }

    void qtFilter_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        for (const auto& [name, filter, expected] :
             {std::tuple{"two pairs", "Bitmaps|*.bmp|All files|*.*",
                         "Bitmaps (*.bmp);;All files (*.*)"},
              {"several patterns", "Images|*.jpg;*.bmp", "Images (*.jpg *.bmp)"},
              {"missing pattern", "Everything", "Everything (*)"},
              {"empty", "", ""}})
            QTest::newRow(name) << QString(filter) << QString(expected);
    }

    void qtFilter() {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(toQtFilter(filter), expected);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
