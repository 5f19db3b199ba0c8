// The web access page rules the window tests leave out: the size attributes and centred
// preview positions of other items, a page too short for a line, the web address of other
// hosts, and which characters a page name refuses.
#include "web/WebPage.h"
#include <QtTest>

using namespace ostrel;
using namespace ostrel::webpage;

class TestWebPage : public QObject {
    Q_OBJECT
private slots:
    void sizeChoices_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<QList<int>>("lefts"); // halves to even; negative when wider than 200
        QTest::newRow("200x150") << "width=0200 height=150" << QList{67, 53, 42}
                                 << QList{66, 74, 79};
        QTest::newRow("600x450  (Default)")
            << "width=0600 height=450" << QList{200, 160, 125} << QList{0, 20, 38};
        QTest::newRow("1000x750") << "width=1000 height=750" << QList{340, 272, 213}
                                  << QList{-70, -36, -6};
    }

    void sizeChoices() {
        QFETCH(QString, line);
        QFETCH(QList<int>, widths);
        QFETCH(QList<int>, lefts);
        const QString item = QTest::currentDataTag();
        QCOMPARE(sizeLine(sizeAttributes(item)), line);
        QList<int> shownWidths, shownLefts;
        for (const QSize& s : previewSizes(item)) {
            shownWidths << s.width();
            shownLefts << previewLeft(s.width());
        }
        QCOMPARE(shownWidths, widths);
        QCOMPARE(shownLefts, lefts);
    }

    void shortPage() {
        QStringList page(CountdownLine, "line");
        const QStringList before = page;
        replaceLine(page, CountdownLine, countdownLine(30));
        QCOMPARE(page, before);
    }

    void webAddresses() {
        QCOMPARE(webAddress("example.ftp.com", "cam", "a.html"),
                 "http://example.ftp.com/cam/a.html");
        const QString rest(60, 'x');
        QCOMPARE(webAddress("ftp" + rest, "cam", "a.html"),
                 "http://www" + rest.left(50) + "/cam/a.html");
    }

    void names_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("refusal");
        QTest::newRow("letters, digits, - and _") << "Cam_01-a"
                                                  << "Cam_01-a" << int(NameRefusal::None);
        QTest::newRow("a blank after a dot") << "my.pa ge"
                                             << "mypage" << int(NameRefusal::Other);
        QTest::newRow("non-ASCII letter") << "caméra"
                                          << "camra" << int(NameRefusal::Other);
    }

    void names() {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        QFETCH(int, refusal);
        NameRefusal refused = NameRefusal::None;
        QCOMPARE(acceptedName(text, &refused), kept);
        QCOMPARE(int(refused), refusal);
    }
};

QTEST_APPLESS_MAIN(TestWebPage)
#include "tst_webpage.moc"
