// The desktop services: scripted answers for tests, the real message boxes and help
// viewer, the application's last-resort error box, and close requests by signal.
#include "platform/Application.h"
#include "platform/CloseSignals.h"
#include "platform/Exception.h"
#include "platform/QtDesktop.h"
#include "platform/ScriptedDesktop.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <stdexcept>

using namespace ostrel;

Q_DECLARE_METATYPE(ostrel::MsgKind)
Q_DECLARE_METATYPE(ostrel::MsgButton)
Q_DECLARE_METATYPE(ostrel::MsgButtons)

namespace {

struct SeenBox {
    bool found = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Waits for the next modal message box, records what it shows, then presses `press`
// (or Escape when `press` is NoButton).
void answerNextBox(QMessageBox::StandardButton press, SeenBox* seen) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, press, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        seen->found = true;
        seen->icon = box->icon();
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->buttons = box->standardButtons();
        if (box->defaultButton()) seen->defaultButton = box->standardButton(box->defaultButton());
        if (press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(press)->click();
    });
    poll->start();
}

class Thrower : public QObject {
public:
    int kind = 0;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        switch (kind) {
        case 0:
            throw Exception(QStringLiteral("Unable to write to /x/Error.log"));
        case 1:
            throw std::runtime_error("disk on fire");
        default:
            throw 42;
        }
    }
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void scriptedDesktopInstallsAndRestores() {
        Desktop* outer = &desktop();
        {
            ScriptedDesktop a;
            QCOMPARE(&desktop(), static_cast<Desktop*>(&a));
            {
                ScriptedDesktop b;
                QCOMPARE(&desktop(), static_cast<Desktop*>(&b));
                showError("x");
                QCOMPARE(b.shownTexts(), QStringList{"x"});
                QVERIFY(a.shown.isEmpty());
            }
            QCOMPARE(&desktop(), static_cast<Desktop*>(&a));
        }
        QCOMPARE(&desktop(), outer);
        QVERIFY(dynamic_cast<QtDesktop*>(&desktop()));
    }

    void scriptedDefaultAnswers_data() {
        QTest::addColumn<MsgButtons>("offered");
        QTest::addColumn<MsgButton>("expected");
        QTest::newRow("yes/no") << (MsgButton::Yes | MsgButton::No) << MsgButton::Yes;
        QTest::newRow("ok/cancel") << (MsgButton::Ok | MsgButton::Cancel) << MsgButton::Ok;
        QTest::newRow("no/cancel") << (MsgButton::No | MsgButton::Cancel) << MsgButton::No;
        QTest::newRow("cancel") << MsgButtons(MsgButton::Cancel) << MsgButton::Cancel;
        QTest::newRow("none") << MsgButtons() << MsgButton::Ok;
    }

    void scriptedDefaultAnswers() {
        QFETCH(MsgButtons, offered);
        QFETCH(MsgButton, expected);
        ScriptedDesktop d;
        QCOMPARE(desktop().messageBox(MsgKind::Confirmation, "?", offered), expected);
    }

    void scriptedQueuesAndClock() {
        ScriptedDesktop d;
        d.answers << MsgButton::No << MsgButton::Cancel;
        d.fileAnswers << "/tmp/a.txt";
        QStringList seenInCallback;
        d.onMessageBox = [&](const ScriptedDesktop::Shown& s) { seenInCallback << s.text; };
        QCOMPARE(desktop().messageBox(MsgKind::Warning, "1", MsgButton::Yes | MsgButton::No),
                 MsgButton::No);
        QCOMPARE(desktop().messageBox(MsgKind::Warning, "2", MsgButton::Ok | MsgButton::Cancel),
                 MsgButton::Cancel);
        QCOMPARE(desktop().messageBox(MsgKind::Warning, "3", MsgButton::Yes | MsgButton::No),
                 MsgButton::Yes);
        QCOMPARE(seenInCallback, (QStringList{"1", "2", "3"}));
        QCOMPARE(desktop().saveFileName({"t", "Text files|*.txt", "txt", {}, {}}),
                 QStringLiteral("/tmp/a.txt"));
        QCOMPARE(desktop().openFileName({}), QString()); // queue empty: cancelled
        QCOMPARE(d.fileRequests.size(), 2);
        QCOMPARE(d.fileRequests[0].title, QStringLiteral("t"));

        d.ticks = 0xFFFFFFF0u;
        desktop().tone(880, 0x20);
        QCOMPARE(desktop().tickCount(), 0x10u); // wraps like a 32-bit tick count
        d.clock = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
        QCOMPARE(desktop().now(), d.clock);
    }

    void applicationName() {
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Ostrel"));
        QVERIFY(qobject_cast<ostrel::Application*>(QCoreApplication::instance()));
    }

    void exceptionBecomesErrorBox_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("ostrel::Exception") << "event" << 0 << "Unable to write to /x/Error.log";
        QTest::newRow("std::exception") << "event" << 1 << "disk on fire";
        QTest::newRow("anything else") << "event" << 2 << "Unknown error";
        QTest::newRow("from a timer slot") << "timer" << 3 << "'x' is not a valid integer value";
        QTest::newRow("on a worker thread, shown on the UI thread")
            << "worker" << 1 << "disk on fire";
    }

    void exceptionBecomesErrorBox() {
        QFETCH(QString, from);
        QFETCH(int, kind);
        QFETCH(QString, text);
        ScriptedDesktop d;
        QThread* shownOn = nullptr;
        d.onMessageBox = [&](const ScriptedDesktop::Shown&) { shownOn = QThread::currentThread(); };
        QThread worker;
        Thrower thrower;
        thrower.kind = kind;
        QTimer timer;
        if (from == "timer") {
            timer.setSingleShot(true);
            connect(&timer, &QTimer::timeout, this,
                    [] { throw EConvertError("'x' is not a valid integer value"); });
            timer.start(0);
        } else {
            if (from == "worker") {
                worker.start();
                thrower.moveToThread(&worker);
            }
            QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        }
        QTRY_COMPARE(d.shown.size(), 1);
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        QTRY_VERIFY(later); // the loop runs on after the error
        QCOMPARE(d.shown.size(), 1);
        QCOMPARE(shownOn, QThread::currentThread());
        QCOMPARE(d.shown[0].kind, MsgKind::Error);
        QCOMPARE(d.shown[0].text, text);
        QCOMPARE(d.shown[0].buttons, MsgButtons(MsgButton::Ok));
        worker.quit();
        worker.wait();
    }

    void showCurrentExceptionInCatch() {
        ScriptedDesktop d;
        try {
            throw Exception("shown from a catch block");
        } catch (...) {
            Application::showCurrentException();
        }
        Application::showCurrentException(); // outside a handler: nothing to show
        QCOMPARE(d.shownTexts(), QStringList{"shown from a catch block"});
    }

    void messageBox_data() {
        QTest::addColumn<MsgKind>("kind");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<MsgButton>("expected");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("defaultButton");

        using B = QMessageBox;
        const auto row = [](const char* name, MsgKind kind, MsgButtons buttons,
                            B::StandardButton press, MsgButton expected, B::Icon icon,
                            B::StandardButton defaultButton) {
            QTest::newRow(name) << kind << buttons << int(press) << expected << int(icon)
                                << int(defaultButton);
        };
        row("error ok", MsgKind::Error, MsgButton::Ok, B::Ok, MsgButton::Ok, B::Critical, B::Ok);
        row("warning no", MsgKind::Warning, MsgButton::Yes | MsgButton::No, B::No, MsgButton::No,
            B::Warning, B::Yes);
        row("confirmation escape", MsgKind::Confirmation, MsgButton::Yes | MsgButton::No,
            B::NoButton, MsgButton::No, B::Question, B::Yes);
        row("information escape cancels", MsgKind::Information, MsgButton::Ok | MsgButton::Cancel,
            B::NoButton, MsgButton::Cancel, B::Information, B::Ok);
        row("three buttons yes", MsgKind::Confirmation,
            MsgButton::Yes | MsgButton::No | MsgButton::Cancel, B::Yes, MsgButton::Yes, B::Question,
            B::Yes);
    }

    void messageBox() {
        QFETCH(MsgKind, kind);
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(MsgButton, expected);
        QFETCH(int, icon);
        QFETCH(int, defaultButton);

        QtDesktop real;
        SeenBox seen;
        answerNextBox(QMessageBox::StandardButton(press), &seen);
        const MsgButton got = real.messageBox(kind, "first line\rsecond line", buttons, nullptr);
        QVERIFY(seen.found);
        QCOMPARE(got, expected);
        QCOMPARE(int(seen.icon), icon);
        QCOMPARE(seen.title, QStringLiteral("Ostrel"));
        QCOMPARE(seen.text, QStringLiteral("first line\nsecond line"));
        QCOMPARE(int(seen.defaultButton), defaultButton);
        QMessageBox::StandardButtons offered;
        for (auto [ours, qt] : {std::pair{MsgButton::Ok, QMessageBox::Ok},
                                {MsgButton::Cancel, QMessageBox::Cancel},
                                {MsgButton::Yes, QMessageBox::Yes},
                                {MsgButton::No, QMessageBox::No}})
            if (buttons.testFlag(ours)) offered |= qt;
        QCOMPARE(seen.buttons, offered);
    }

    void helpViewer() {
        QTemporaryDir folder;
        QFile topic(folder.filePath("topic9.html"));
        QVERIFY(topic.open(QIODevice::WriteOnly));
        topic.write("<html><body><p>About the error log</p></body></html>");
        topic.close();

        QtDesktop real(folder.path());
        real.help(HelpCommand::Context, 9);
        QWidget* viewer = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("HelpViewer")) viewer = w;
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        auto* browser = viewer->findChild<QTextBrowser*>("HelpBrowser");
        QVERIFY(browser);
        QVERIFY(browser->toPlainText().contains("About the error log"));

        real.help(HelpCommand::Contents, 0); // no contents.html in this folder
        QVERIFY(browser->toPlainText().contains("Help topic not found"));

        real.help(HelpCommand::Quit, 0);
        QVERIFY(!viewer->isVisible());
    }

    // The start delay paces itself by timers; a tone that waited here would stall the window.
    void toneReturnsAtOnce() {
        QtDesktop real;
        QElapsedTimer t;
        t.start();
        real.tone(440, 800);
        QVERIFY2(t.elapsed() < 400, qPrintable(QString::number(t.elapsed())));
        const std::uint32_t a = real.tickCount();
        QTest::qWait(20);
        QVERIFY(real.tickCount() - a >= 15u);
    }

    void closeSignals_data() {
        QTest::addColumn<int>("signo");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void closeSignals() {
        QFETCH(int, signo);
        struct sigaction before {};
        QCOMPARE(::sigaction(signo, nullptr, &before), 0);
        {
            CloseSignals signals_;
            QSignalSpy spy(&signals_, &CloseSignals::closeRequested);
            QCOMPARE(::raise(signo), 0);
            QVERIFY(spy.isEmpty()); // delivered through the event loop, not from the handler
            QVERIFY(spy.wait(5000));
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy.at(0).at(0).toInt(), signo);
        }
        struct sigaction now {};
        QCOMPARE(::sigaction(signo, nullptr, &now), 0);
        QVERIFY(now.sa_handler == before.sa_handler); // the handler found at start is back
    }
};

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
