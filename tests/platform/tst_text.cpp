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
        QVERIFY(std::setlocale(LC_ALL, "C.UTF-8") || std::setlocale(LC_ALL, "C"));
    }

    void strToInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("expected");
        QTest::newRow("digits") << "123" << true << 123;
        QTest::newRow("leading blanks") << "   7" << true << 7;
        QTest::newRow("trailing blank") << "7 " << false << 0;
        QTest::newRow("minus") << "-45" << true << -45;
        QTest::newRow("plus") << "+45" << true << 45;
        QTest::newRow("leading zeros") << "007" << true << 7;
        QTest::newRow("dollar hex") << "$ff" << true << 255;
        QTest::newRow("0x hex") << "0xFF" << true << 255;
        QTest::newRow("negative hex") << "-$10" << true << -16;
        QTest::newRow("max") << "2147483647" << true << 2147483647;
        QTest::newRow("min") << "-2147483648" << true << int(-2147483647 - 1);
        QTest::newRow("above max") << "2147483648" << false << 0;
        QTest::newRow("below min") << "-2147483649" << false << 0;
        QTest::newRow("hex 32 bits") << "$80000000" << true << int(-2147483647 - 1);
        QTest::newRow("hex 33 bits") << "$100000000" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blank") << " " << false << 0;
        QTest::newRow("sign only") << "+" << false << 0;
        QTest::newRow("dollar only") << "$" << false << 0;
        QTest::newRow("double sign") << "--1" << false << 0;
        QTest::newRow("letters") << "12a" << false << 0;
        QTest::newRow("tab is not a blank") << "\t1" << false << 0;
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("\xd9\xa3") << false << 0;
    }

    void strToInt() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, expected);
        QCOMPARE(strToIntDef(text, -777), valid ? expected : -777);
        if (valid) {
            QCOMPARE(ostrel::strToInt(text), expected);
            return;
        }
        try {
            ostrel::strToInt(text);
            QFAIL("no EConvertError");
        } catch (const EConvertError& e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }

    void dateTimeText_data() {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("safe");
        QTest::newRow("afternoon")
            << QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9)) << "12/05/26 14:03:09"
            << "12-05-26_14.03.09";
        QTest::newRow("midnight leaves the time out")
            << QDateTime(QDate(2026, 1, 31), QTime(0, 0)) << "01/31/26"
            << "01-31-26";
        QTest::newRow("one second past midnight")
            << QDateTime(QDate(2026, 1, 31), QTime(0, 0, 1)) << "01/31/26 00:00:01"
            << "01-31-26_00.00.01";
        QTest::newRow("last second of the day")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "12/31/99 23:59:59"
            << "12-31-99_23.59.59";
    }

    void dateTimeText() {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QFETCH(QString, safe);
        QCOMPARE(dateTimeToStr(when), text);
        QCOMPARE(fileNameSafe(dateTimeToStr(when)), safe);
    }

    void dateAndTimeParts() {
        QCOMPARE(dateToStr(QDate(2026, 3, 4)), QStringLiteral("03/04/26"));
        QCOMPARE(timeToStr(QTime(7, 8, 9)), QStringLiteral("07:08:09"));
        QCOMPARE(longDateTimeText(QDateTime(QDate(2026, 3, 4), QTime(7, 8, 9))),
                 QStringLiteral("04 March 2026 07:08:09"));
        QCOMPARE(dateTimeToStr(QDateTime()), QString());
    }

    void fileNameSafeOrder() {
        // ":" first, then "/", then " ": each replacement sees the result of the previous.
        QCOMPARE(fileNameSafe("a:b/c d"), QStringLiteral("a.b-c_d"));
        QCOMPARE(fileNameSafe(" :/"), QStringLiteral("_.-"));
    }

    void paths_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("slashed");
        QTest::addColumn<QString>("resolved");
        const auto row = [](const char* name, const char* folder, const char* file,
                            const char* slashed, const char* resolved) {
            QTest::newRow(name) << QString(folder) << QString(file) << QString(slashed)
                                << QString(resolved);
        };
        row("plain", "/opt/ostrel", "Error.log", "/opt/ostrel/", "/opt/ostrel/Error.log");
        row("trailing slashes collapse", "/opt/ostrel//", "a", "/opt/ostrel/", "/opt/ostrel/a");
        row("backslashes", "/opt/ostrel", "Server\\ostrel.bkp", "/opt/ostrel/",
            "/opt/ostrel/Server/ostrel.bkp");
        row("absolute name stays", "/opt/ostrel", "/tmp/x", "/opt/ostrel/", "/tmp/x");
        row("root", "/", "x", "/", "/x");
        row("no folder never means root", "", "x", "", "x");
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
             {std::tuple{"one pair", "Text files|*.txt", "Text files (*.txt)"},
              {"two pairs", "Bitmaps|*.bmp|All files|*.*", "Bitmaps (*.bmp);;All files (*.*)"},
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
