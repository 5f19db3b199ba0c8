// The web access page rules: the two template lines, the size and refresh choices, the web
// address and the page name filter.
#include "web/WebPage.h"
#include <QtTest>

using namespace ostrel;
using namespace ostrel::webpage;

class TestWebPage : public QObject {
    Q_OBJECT
private slots:
    void lineReplacement_data();
    void lineReplacement();
    void sizeChoices_data();
    void sizeChoices();
    void refreshChoices_data();
    void refreshChoices();
    void webAddresses_data();
    void webAddresses();
    void names_data();
    void names();
};

void TestWebPage::lineReplacement_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("size line") << 26 << SizeLine << true;
    QTest::newRow("countdown line, the last") << 26 << CountdownLine << true;
    QTest::newRow("a page one line short") << 25 << CountdownLine << false;
}

void TestWebPage::lineReplacement() {
    QFETCH(int, lines);
    QFETCH(int, index);
    QFETCH(bool, replaced);
    QStringList page;
    for (int i = 0; i < lines; ++i)
        page << QString::number(i);
    QStringList expected = page;
    if (replaced) expected[index] = "new";
    replaceLine(page, index, "new");
    QCOMPARE(page, expected);
}

void TestWebPage::sizeChoices_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QList<QSize>>("previews");
    QTest::addColumn<QList<int>>("lefts"); // halves to even; negative when wider than 200
    auto row = [](const char* item, const char* line, const char* label, QList<QSize> previews,
                  QList<int> lefts) {
        QTest::newRow(item) << QString(item) << QString(line) << QString(label) << previews
                            << lefts;
    };
    row("200x150", "width=0200 height=150", "0200x150", {{67, 50}, {53, 40}, {42, 31}},
        {66, 74, 79});
    row("400x300", "width=0400 height=300", "0400x300", {{133, 100}, {107, 80}, {83, 63}},
        {34, 46, 58});
    row("600x450  (Default)", "width=0600 height=450", "0600x450",
        {{200, 150}, {160, 120}, {125, 94}}, {0, 20, 38});
    row("800x600", "width=0800 height=600", "0800x600", {{260, 195}, {208, 156}, {163, 122}},
        {-30, -4, 18});
    row("1000x750", "width=1000 height=750", "1000x750", {{340, 255}, {272, 204}, {213, 160}},
        {-70, -36, -6});
    row("1200x900", "width=1200 height=900", "1200x900", {{400, 300}, {320, 240}, {250, 188}},
        {-100, -60, -25});
}

void TestWebPage::sizeChoices() {
    QFETCH(QString, item);
    QFETCH(QString, line);
    QFETCH(QString, label);
    QFETCH(QList<QSize>, previews);
    QFETCH(QList<int>, lefts);
    const SizeAttributes size = sizeAttributes(item);
    QCOMPARE(sizeLine(size), line);
    QCOMPARE(sizeLabel(size), label);
    const auto sizes = previewSizes(item);
    QCOMPARE(QList<QSize>(sizes.begin(), sizes.end()), previews);
    QList<int> positions;
    for (const QSize& s : sizes)
        positions << previewLeft(s.width());
    QCOMPARE(positions, lefts);
}

void TestWebPage::refreshChoices_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("seconds");
    const QList<std::pair<const char*, int>> rows{{"30 sec", 30}, {"60 sec  (Default)", 60},
                                                  {"90 sec", 90}, {"2 min", 120},
                                                  {"3 min", 180}, {"5 min", 300},
                                                  {"10 min", 600}};
    for (const auto& [item, seconds] : rows)
        QTest::newRow(item) << QString(item) << seconds;
}

void TestWebPage::refreshChoices() {
    QFETCH(QString, item);
    QFETCH(int, seconds);
    QCOMPARE(refreshSeconds(item), seconds);
    QCOMPARE(countdownLine(seconds), QString("var countDownInterval=%1;").arg(seconds));
}

void TestWebPage::webAddresses_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("address");
    const QString longRest = QString(60, 'x');
    QTest::newRow("ftp host served as www") << "ftp.example.com"
                                            << "http://www.example.com/cam/page.html";
    QTest::newRow("other host as it is") << "example.ftp.com"
                                         << "http://example.ftp.com/cam/page.html";
    QTest::newRow("at most 50 after ftp")
        << "ftp" + longRest << "http://www" + longRest.left(50) + "/cam/page.html";
}

void TestWebPage::webAddresses() {
    QFETCH(QString, host);
    QFETCH(QString, address);
    QCOMPARE(webAddress(host, "cam", "page.html"), address);
}

void TestWebPage::names_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("refusal");
    QTest::newRow("letters, digits, - and _") << "Cam_01-a"
                                              << "Cam_01-a" << int(NameRefusal::None);
    QTest::newRow("an extension") << "my.page.html"
                                  << "mypagehtml" << int(NameRefusal::Dot);
    QTest::newRow("a blank after a dot") << "my.pa ge"
                                         << "mypage" << int(NameRefusal::Other);
    QTest::newRow("a blank before a dot") << "my pa.ge"
                                          << "mypage" << int(NameRefusal::Other);
    QTest::newRow("non-ASCII letter") << "caméra"
                                      << "camra" << int(NameRefusal::Other);
    QTest::newRow("path") << "../x/y"
                          << "xy" << int(NameRefusal::Other);
}

void TestWebPage::names() {
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QFETCH(int, refusal);
    NameRefusal refused = NameRefusal::None;
    QCOMPARE(acceptedName(text, &refused), kept);
    QCOMPARE(int(refused), refusal);
}

QTEST_APPLESS_MAIN(TestWebPage)
#include "tst_webpage.moc"
