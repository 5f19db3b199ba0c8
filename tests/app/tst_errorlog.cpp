// The error log and its window: lines, Error.log, Save As, Clear Log and the size question.
#include "../net/NetTestUtil.h"
#include "app/ErrorLog.h"
#include "app/LogForm.h"
#include "platform/Exception.h"
#include "platform/ScriptedDesktop.h"
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

using namespace ostrel;
using ostrel::test::readFile;

namespace {

// A program folder with Error.log holding `content` (none when null), the desktop at a
// fixed time, the log, and its window once asked for.
struct Folder {
    QTemporaryDir dir;
    QString path = dir.path() + '/', file = path + "Error.log";
    ScriptedDesktop desk;
    ErrorLog log{path};
    std::unique_ptr<TLogForm> form;

    explicit Folder(const QByteArray& content = {}) {
        desk.clock = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9));
        if (!content.isNull()) write(content);
    }
    ~Folder() {
        form.reset();
        QDir::setCurrent(QDir::tempPath()); // the window makes the program folder current
    }
    void write(const QByteArray& content) const { QVERIFY(test::writeFile(file, content)); }
    TLogForm& window(bool show = true) {
        form = std::make_unique<TLogForm>(log);
        if (show) {
            form->show();
            if (!QTest::qWaitForWindowExposed(form.get())) qWarning("window not exposed");
        }
        return *form;
    }
    void click(const char* button) {
        QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    QString memo() const { return form->findChild<QPlainTextEdit*>("LogMemo")->toPlainText(); }
};

} // namespace

class TestErrorLog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_ALL, "C.UTF-8"); }

    // Any line end, blank lines and UTF-8 read as written, without a last line end too;
    // written back with CRLF.
    void parseAndSerialize() {
        QCOMPARE(parseLogLines({}), QStringList());
        const QByteArray kueche = "K\u00fcche";
        const QStringList lines{"a", "", "", "", "b", QString::fromUtf8(kueche)};
        QCOMPARE(parseLogLines("a\n\n\r\rb\r" + kueche), lines);
        QCOMPARE(serializeLogLines(lines), "a\r\n\r\n\r\n\r\nb\r\n" + kueche + "\r\n");
    }

    void addStampsWritesAndReloads() {
        Folder f;
        QVERIFY(!f.log.reload()); // no file: the list stays
        f.log.ensureFileExists();
        QCOMPARE(readFile(f.file), QByteArray("\r\n"));
        QVERIFY(f.log.reload());
        f.log.add(" :   FTP error = 530 Login incorrect.");
        f.log.add(" :   Could not save captured frame to disk", false);
        QCOMPARE(f.log.lines(),
                 QStringList({"", "12/05/26 14:03:09 :   FTP error = 530 Login incorrect.",
                              "12/05/26 14:03:09 :   Could not save captured frame to disk"}));
        // The second line was not written yet.
        QCOMPARE(readFile(f.file),
                 QByteArray("\r\n12/05/26 14:03:09 :   FTP error = 530 Login incorrect.\r\n"));
        // A reply of several lines is as many lines in memory as a reload gives.
        f.log.add(" :   FTP error = 550-first\r\n550 second\r\n");
        const QStringList inMemory = f.log.lines();
        QCOMPARE(inMemory.size(), 5);
        QVERIFY(f.log.reload());
        QCOMPARE(f.log.lines(), inMemory);

        f.write("old\n");
        f.log.ensureFileExists(); // an existing file is left alone
        QCOMPARE(readFile(f.file), QByteArray("old\n"));

        // A file that cannot be written raises nothing and is told once; the lines wait in
        // the list and reach the file with the next write that works.
        QVERIFY(f.log.reload());
        QFile::setPermissions(f.file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QSignalSpy told(&f.log, &ErrorLog::writeFailed);
        f.log.add(" :   Video error = gone");
        f.log.add(" :   Video error = still gone");
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0][0].toString(),
                 "Unable to write to " + f.file + " (" + f.file + " is read-only)");
        QCOMPARE(readFile(f.file), QByteArray("old\n"));
        QFile::setPermissions(f.file, QFile::ReadOwner | QFile::WriteOwner);
        f.log.add(" :   back");
        QCOMPARE(readFile(f.file), QByteArray("old\n12/05/26 14:03:09 :   Video error = gone\r\n"
                                              "12/05/26 14:03:09 :   Video error = still gone\r\n"
                                              "12/05/26 14:03:09 :   back\r\n"));
    }

    // An entry that would take Error.log past 1 MiB moves it to Error.log.1 first, and the
    // list keeps what the new file holds; a larger log kept from before is read from its
    // last whole line within 1 MiB on.
    void sizeLimit_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("read");     // lines after reading the file
        QTest::addColumn<bool>("rotated"); // by one more entry
        const QByteArray line = QByteArray(98, 'x') + "\r\n";
        const QByteArray full = line.repeated(10485); // 1,048,500 bytes
        QTest::newRow("the entry fits") << full << 10485 << false;
        QTest::newRow("the entry passes") << full + QByteArray(58, 'y') + "\r\n" << 10486 << true;
        QTest::newRow("3 MB from before") << line.repeated(30000) << 10485 << true;
    }
    void sizeLimit() {
        QFETCH(QByteArray, content);
        QFETCH(int, read);
        QFETCH(bool, rotated);
        Folder f(content);
        QVERIFY(f.log.reload());
        QCOMPARE(f.log.lines().size(), read);
        f.log.add(" :   e");
        const QByteArray entry = "12/05/26 14:03:09 :   e\r\n";
        QCOMPARE(readFile(f.file + ".1"), rotated ? content : QByteArray("<missing>"));
        QCOMPARE(readFile(f.file), rotated ? entry : content + entry);
        QCOMPARE(f.log.lines().size(), rotated ? 1 : read + 1);
    }

    // Showing reloads from the file; Save As writes a copy with CRLF and leaves the log and
    // its file alone. Clear Log asks first: No keeps everything, Yes empties the log, its
    // file and the window.
    void windowSaveAsAndClear() {
        Folder f("first\nsecond\n");
        TLogForm& form = f.window(false);
        QCOMPARE(f.memo(), QStringLiteral("first\nsecond")); // loaded at creation
        f.log.add(" :   not yet written", false);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(f.log.lines(), QStringList({"first", "second"}));
        QCOMPARE(QDir::currentPath(), QDir(f.path).canonicalPath());

        f.desk.fileAnswers << f.path + "copy.txt";
        f.click("btnSave");
        QCOMPARE(readFile(f.path + "copy.txt"), QByteArray("first\r\nsecond\r\n"));
        QCOMPARE(readFile(f.file), QByteArray("first\nsecond\n"));
        f.log.add(" :   live");
        QVERIFY(f.memo().endsWith(" :   live")); // shown while open

        f.desk.answers << MsgButton::No << MsgButton::Yes;
        f.click("btnClearLog");
        QCOMPARE(f.desk.shownTexts(),
                 QStringList{"This action can not be undone. \nAre you sure ?"});
        QCOMPARE(f.desk.shown[0].buttons, MsgButton::Yes | MsgButton::No);
        QCOMPARE(f.log.lines(), QStringList({"first", "second", "12/05/26 14:03:09 :   live"}));
        QCOMPARE(readFile(f.file), QByteArray("first\nsecond\n12/05/26 14:03:09 :   live\r\n"));
        f.click("btnClearLog");
        QCOMPARE(f.desk.beeps, 2);
        QVERIFY(f.log.lines().isEmpty());
        QVERIFY(readFile(f.file).isEmpty());
        QVERIFY(f.memo().isEmpty());
    }

    // Closing asks, each way, once the text passes 60 KiB (line ends count). "No" keeps the
    // log; "Yes" saves a copy and clears it, but keeps it when the copy is not saved.
    void sizeQuestion_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("answer");   // no, or the copy's name after yes
        QTest::addColumn<QByteArray>("after"); // Error.log
        const auto row = [](const char* tag, const QByteArray& content, const char* how,
                            const char* answer, const QByteArray& after) {
            QTest::newRow(tag) << content << QString(how) << QString(answer) << after;
        };
        const QByteArray most(61440, 'x'), big(61441, 'x');
        const QByteArray lines = QByteArray(30719, 'x') + "\r\n" + QByteArray(30720, 'y') + "\r\n";
        row("61440", most + "\r\n", "button", "", most + "\r\n");
        for (const char* how : {"button", "escape", "window"})
            row(qPrintable(QString("61441 by ") + how), big + "\r\n", how, "no", big + "\r\n");
        row("line ends count", lines, "button", "no", lines);
        // LF only: a rewrite shows as CRLF.
        row("copy saved", big + "\n", "window", "copy.txt", QByteArray());
        row("save cancelled", big + "\n", "window", "-", big + "\r\n");
        row("copy cannot be written", big + "\n", "window", "no/such/copy.txt", big + "\n");
    }
    void sizeQuestion() {
        QFETCH(QByteArray, content);
        QFETCH(QString, how);
        QFETCH(QString, answer);
        QFETCH(QByteArray, after);
        Folder f(content);
        TLogForm& form = f.window();
        f.desk.answers << (answer == "no" ? MsgButton::No : MsgButton::Yes);
        if (answer != "no" && answer != "-") f.desk.fileAnswers << f.path + answer;
        if (how == "button")
            f.click("btnClose");
        else if (how == "escape")
            QTest::keyClick(&form, Qt::Key_Escape);
        else
            form.close();
        QVERIFY(!form.isVisible()); // closes in every case
        const QString question = "The Error Log grows too large. Do you want to\ncopy it to a "
                                 "text file and start a new one ?";
        QCOMPARE(f.desk.shownTexts().mid(0, 1),
                 answer.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(f.desk.beeps, answer.isEmpty() ? 0 : 1);
        if (!answer.isEmpty()) QCOMPARE(f.desk.shown[0].buttons, MsgButton::Yes | MsgButton::No);
        QCOMPARE(f.desk.fileRequests.size(), answer.isEmpty() || answer == "no" ? 0 : 1);
        QCOMPARE(readFile(f.file), after);
        // The window's list holds what the file holds.
        QCOMPARE(f.log.lines(),
                 QString::fromLatin1(after).split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts));
        if (after.isEmpty()) QCOMPARE(readFile(f.path + answer), content.trimmed() + "\r\n");
        if (answer.contains("no/")) // the copy failed: the error is shown
            QVERIFY(f.desk.shownTexts().value(1).startsWith("Unable to write to "));
    }
};

QTEST_MAIN(TestErrorLog)
#include "tst_errorlog.moc"
