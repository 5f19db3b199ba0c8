// The error log and its window: lines, Error.log, Save As, Clear Log and the size question.
#include "app/ErrorLog.h"
#include "app/LogForm.h"
#include "platform/Exception.h"
#include "platform/ScriptedDesktop.h"
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

using namespace ostrel;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QPushButton* button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(QLatin1String(name));
}
QString memoText(QWidget& form) {
    return form.findChild<QPlainTextEdit*>(QStringLiteral("LogMemo"))->toPlainText();
}

const QString SizeQuestion = QStringLiteral(
    "The Error Log grows too large. Do you want to\ncopy it to a text file and start a new one ?");

} // namespace

class TestErrorLog : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedDesktop> desk_;
    QString folder() const { return dir_->path() + '/'; }
    QString logFile() const { return folder() + "Error.log"; }

    // Error.log holding `content`, the log, and its window (shown when `show`).
    struct Window {
        ErrorLog log;
        TLogForm form;
        explicit Window(const QString& folder) : log(folder), form(log) {}
    };
    std::unique_ptr<Window> window(const QByteArray& content, bool show = true) {
        writeRaw(logFile(), content);
        auto w = std::make_unique<Window>(folder());
        if (show) {
            w->form.show();
            if (!QTest::qWaitForWindowExposed(&w->form)) qWarning("window not exposed");
        }
        return w;
    }

private slots:
    void initTestCase() { std::setlocale(LC_ALL, "C.UTF-8"); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        desk_ = std::make_unique<ScriptedDesktop>();
        desk_->clock = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 9));
    }

    void cleanup() {
        desk_.reset();
        QDir::setCurrent(QDir::tempPath()); // the window makes the program folder current
        dir_.reset();
    }

    void parseAndSerialize_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("empty file") << QByteArray() << QStringList() << QByteArray();
        QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{""}
                                        << QByteArray("\r\n");
        QTest::newRow("no final line end")
            << QByteArray("a\r\nb") << QStringList{"a", "b"} << QByteArray("a\r\nb\r\n");
        QTest::newRow("LF and lone CR") << QByteArray("a\nb\rc\n") << QStringList{"a", "b", "c"}
                                        << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("blank lines kept")
            << QByteArray("a\n\n\r\rb") << QStringList{"a", "", "", "", "b"}
            << QByteArray("a\r\n\r\n\r\n\r\nb\r\n");
        const QByteArray kueche = "K\xc3\xbc"
                                  "che\r\n";
        QTest::newRow("UTF-8") << kueche << QStringList{QString::fromUtf8(kueche).trimmed()}
                               << kueche;
    }
    void parseAndSerialize() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, written);
        QCOMPARE(parseLogLines(bytes), lines);
        QCOMPARE(serializeLogLines(lines), written);
    }

    void addStampsAndWrites() {
        ErrorLog log(folder());
        log.add(" :   FTP error = 530 Login incorrect.");
        log.add(" :   Could not save captured frame to disk", false);
        QCOMPARE(log.lines(),
                 (QStringList{"12/05/26 14:03:09 :   FTP error = 530 Login incorrect.",
                              "12/05/26 14:03:09 :   Could not save captured frame to disk"}));
        // The second line was not written yet.
        QCOMPARE(readAll(logFile()),
                 QByteArray("12/05/26 14:03:09 :   FTP error = 530 Login incorrect.\r\n"));
        log.save();
        QCOMPARE(readAll(logFile()), serializeLogLines(log.lines()));
        desk_->clock = QDateTime(QDate(2026, 1, 31), QTime(0, 0)); // midnight leaves time out
        log.add(" :   x");
        QCOMPARE(log.lines().last(), QStringLiteral("01/31/26 :   x"));

        // A reply of several lines is as many lines in memory as a reload gives.
        log.add(" :   FTP error = 550-first\r\n550 second\r\n");
        const QStringList inMemory = log.lines();
        QCOMPARE(inMemory.size(), 5);
        QVERIFY(log.reload());
        QCOMPARE(log.lines(), inMemory);

        log.setLogErrors(false);
        log.add(" :   SMTP error = refused");
        QCOMPARE(log.lines(), inMemory);
    }

    void reloadAndEnsureFileExists() {
        ErrorLog log(folder());
        log.add(" :   kept in memory", false);
        QVERIFY(!log.reload()); // no file: the list stays
        QCOMPARE(log.lines().size(), 1);

        log.ensureFileExists();
        QCOMPARE(readAll(logFile()), QByteArray("\r\n"));
        QVERIFY(log.reload());
        QCOMPARE(log.lines(), QStringList{""});

        writeRaw(logFile(), "old\n");
        log.ensureFileExists(); // an existing file is left alone
        QCOMPARE(readAll(logFile()), QByteArray("old\n"));
    }

    void failedWriteKeepsTheLineAndTheFile() {
        writeRaw(logFile(), "line\r\n");
        QFile::setPermissions(logFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        ErrorLog log(folder());
        QVERIFY(log.reload());
        try {
            log.add(" :   Video error = gone");
            QFAIL("no exception");
        } catch (const Exception& e) {
            QVERIFY2(e.message().startsWith("Unable to write to " + log.filePath()),
                     qPrintable(e.message()));
        }
        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(readAll(logFile()), QByteArray("line\r\n"));
        QFile::setPermissions(logFile(), QFile::ReadOwner | QFile::WriteOwner);
        log.save(); // a later write brings it to the file
        QCOMPARE(parseLogLines(readAll(logFile())), log.lines());
    }

    void windowLoadsAndReloadsFile() {
        auto w = window("first\r\nsecond\r\n", false);
        auto& [log, form] = *w;
        QCOMPARE(log.lines(), (QStringList{"first", "second"})); // loaded at creation
        QCOMPARE(memoText(form), QStringLiteral("first\nsecond"));

        log.add(" :   not yet written", false);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Showing reloads from the file: the unwritten line is gone.
        QCOMPARE(log.lines(), (QStringList{"first", "second"}));
        QCOMPARE(QDir::currentPath(), QDir(folder()).canonicalPath());

        log.add(" :   live");
        QVERIFY(memoText(form).endsWith(" :   live")); // shown while open
        form.close();
    }

    void saveAsWritesCopy() {
        auto w = window("a\nb\n", false);
        const QString copy = dir_->filePath("copy.txt");
        desk_->fileAnswers << copy;
        QTest::mouseClick(button(w->form, "btnSave"), Qt::LeftButton);
        QCOMPARE(desk_->fileRequests.size(), 1);
        QCOMPARE(readAll(copy), QByteArray("a\r\nb\r\n"));
        QCOMPARE(w->log.lines(), (QStringList{"a", "b"})); // the log itself is unchanged
        QCOMPARE(readAll(logFile()), QByteArray("a\nb\n"));
    }

    void clearLog_data() {
        QTest::addColumn<MsgButton>("answer");
        QTest::newRow("yes") << MsgButton::Yes;
        QTest::newRow("no") << MsgButton::No;
    }
    void clearLog() {
        QFETCH(MsgButton, answer);
        auto w = window("a\r\nb\r\n");
        auto& [log, form] = *w;
        desk_->answers << answer;
        QTest::mouseClick(button(form, "btnClearLog"), Qt::LeftButton);
        QCOMPARE(desk_->beeps, 1);
        QCOMPARE(desk_->shownTexts(),
                 QStringList{"This action can not be undone. \nAre you sure ?"});
        QCOMPARE(desk_->shown[0].kind, MsgKind::Confirmation);
        QCOMPARE(desk_->shown[0].buttons, MsgButton::Yes | MsgButton::No);
        const bool cleared = answer == MsgButton::Yes;
        QCOMPARE(log.lines(), cleared ? QStringList() : QStringList({"a", "b"}));
        QCOMPARE(readAll(logFile()), cleared ? QByteArray() : QByteArray("a\r\nb\r\n"));
        QCOMPARE(memoText(form), cleared ? QString() : QString("a\nb"));
        form.close();
    }

    // Each way of closing asks once the text passes 60 KiB, line ends included.
    void sizeQuestion_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("asked");
        QTest::newRow("61440") << 61440 << "button" << false;
        for (const char* how : {"button", "escape", "window"})
            QTest::addRow("61441 by %s", how) << 61441 << QString(how) << true;
        // Two lines: 30719 + CRLF + 30720 = 61441 characters of text.
        QTest::newRow("line ends count") << -1 << "button" << true;
    }
    void sizeQuestion() {
        QFETCH(int, length);
        QFETCH(QString, how);
        QFETCH(bool, asked);
        const QByteArray content = length < 0
                                       ? QByteArray(30719, 'x') + "\r\n" + QByteArray(30720, 'y')
                                       : QByteArray(length, 'x');
        auto w = window(content + "\r\n");
        auto& [log, form] = *w;
        desk_->answers << MsgButton::No;
        if (how == "button")
            QTest::mouseClick(button(form, "btnClose"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(&form, Qt::Key_Escape);
        else
            form.close();
        QVERIFY(!form.isVisible());
        QCOMPARE(desk_->shownTexts(), asked ? QStringList{SizeQuestion} : QStringList());
        QCOMPARE(desk_->beeps, asked ? 1 : 0);
        if (asked) QCOMPARE(desk_->shown[0].buttons, MsgButton::Yes | MsgButton::No);
        QCOMPARE(log.text().size(), length < 0 ? 61441 : length); // "No" keeps the log
    }

    void sizeQuestionYes_data() {
        QTest::addColumn<QString>("saveAnswer");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("copy saved") << "copy.txt" << true;
        QTest::newRow("save cancelled") << "" << false;
        QTest::newRow("copy cannot be written") << "no/such/folder/copy.txt" << false;
    }
    void sizeQuestionYes() {
        QFETCH(QString, saveAnswer);
        QFETCH(bool, cleared);
        const QByteArray big = QByteArray(61441, 'x');
        auto w = window(big + "\n"); // LF only: any rewrite shows as CRLF
        desk_->answers << MsgButton::Yes;
        if (!saveAnswer.isEmpty()) desk_->fileAnswers << dir_->filePath(saveAnswer);
        w->form.close();
        QVERIFY(!w->form.isVisible()); // closes in every case
        QCOMPARE(desk_->fileRequests.size(), 1);
        QCOMPARE(w->log.lines(), cleared ? QStringList() : QStringList{QString::fromLatin1(big)});
        if (cleared) {
            QCOMPARE(readAll(dir_->filePath(saveAnswer)), big + "\r\n");
            QCOMPARE(readAll(logFile()), QByteArray());
        } else if (saveAnswer.isEmpty()) {
            QCOMPARE(readAll(logFile()), big + "\r\n"); // rewritten, unchanged
        } else {
            // The copy failed: the error is shown and nothing is lost.
            QCOMPARE(desk_->shown.size(), 2);
            QVERIFY(desk_->shown[1].text.startsWith("Unable to write to "));
            QCOMPARE(readAll(logFile()), big + "\n");
        }
    }
};

QTEST_MAIN(TestErrorLog)
#include "tst_errorlog.moc"
