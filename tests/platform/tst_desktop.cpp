// The desktop services: the real message boxes and help viewer, the application's
// last-resort error box, and close requests by signal. (ScriptedDesktop, the stand-in the
// other tests use, is no part of the program and is not tested for itself.)
#include "../net/NetTestUtil.h"
#include "platform/Application.h"
#include "platform/CloseSignals.h"
#include "platform/Exception.h"
#include "platform/QtDesktop.h"
#include "platform/ScriptedDesktop.h"

#include <QAbstractButton>
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

// Waits for the next modal message box, records what it shows (icon, title, text, buttons,
// default button), then presses `press`, or Escape when `press` is NoButton.
void answerNextBox(QMessageBox::StandardButton press, QVariantList* seen) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, press, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->deleteLater();
        *seen = {int(box->icon()), box->windowTitle(), box->text(), int(box->standardButtons()),
                 box->defaultButton() ? int(box->standardButton(box->defaultButton())) : 0};
        if (press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(press)->click();
    });
    poll->start();
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void exceptionBecomesErrorBox_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("onWorker");
        QTest::addColumn<QString>("text");
        QTest::newRow("ostrel::Exception") << 0 << false << "Unable to write to /x/Error.log";
        QTest::newRow("std::exception") << 1 << false << "disk on fire";
        QTest::newRow("anything else") << 2 << false << "Unknown error";
        QTest::newRow("on a worker thread, shown on the UI thread") << 1 << true << "disk on fire";
    }

    // An exception out of any event shows one error box, and the event loop runs on.
    void exceptionBecomesErrorBox() {
        QFETCH(int, kind);
        QFETCH(bool, onWorker);
        QFETCH(QString, text);
        ScriptedDesktop d;
        QThread* shownOn = nullptr;
        d.onMessageBox = [&](const ScriptedDesktop::Shown&) { shownOn = QThread::currentThread(); };
        QThread worker;
        QObject target;
        if (onWorker) worker.start();
        if (onWorker) target.moveToThread(&worker);
        QMetaObject::invokeMethod(
            &target,
            [kind] {
                if (kind == 0) throw Exception(QStringLiteral("Unable to write to /x/Error.log"));
                if (kind == 1) throw std::runtime_error("disk on fire");
                throw 42;
            },
            Qt::QueuedConnection);
        QTRY_COMPARE(d.shown.size(), 1);
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(d.shown.size(), 1);
        QCOMPARE(shownOn, QThread::currentThread());
        QCOMPARE(d.shown[0].kind, MsgKind::Error);
        QCOMPARE(d.shown[0].text, text);
        QCOMPARE(d.shown[0].buttons, MsgButtons(MsgButton::Ok));
        Application::showCurrentException(); // outside a handler: nothing to show
        QCOMPARE(d.shown.size(), 1);
        worker.quit();
        worker.wait();
    }

    void messageBox_data() {
        QTest::addColumn<MsgKind>("kind");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<MsgButton>("expected");
        QTest::addColumn<QVariantList>("seen");
        using B = QMessageBox;
        using M = MsgButton;
        const auto row = [](const char* name, MsgKind kind, MsgButtons buttons,
                            B::StandardButton press, M expected, B::Icon icon,
                            B::StandardButtons offered, B::StandardButton dflt) {
            QTest::newRow(name) << kind << buttons << int(press) << expected
                                << QVariantList{int(icon), "Ostrel", "first line\nsecond line",
                                                int(offered), int(dflt)};
        };
        row("error ok", MsgKind::Error, M::Ok, B::Ok, M::Ok, B::Critical, B::Ok, B::Ok);
        row("warning yes", MsgKind::Warning, M::Yes | M::No | M::Cancel, B::Yes, M::Yes, B::Warning,
            B::Yes | B::No | B::Cancel, B::Yes);
        row("confirmation escape", MsgKind::Confirmation, M::Yes | M::No, B::NoButton, M::No,
            B::Question, B::Yes | B::No, B::Yes);
        row("information escape cancels", MsgKind::Information, M::Ok | M::Cancel, B::NoButton,
            M::Cancel, B::Information, B::Ok | B::Cancel, B::Ok);
    }

    // The real box: icon, title, buttons, default, Escape, and "\r" line breaks.
    void messageBox() {
        QFETCH(MsgKind, kind);
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(MsgButton, expected);
        QFETCH(QVariantList, seen);
        QVariantList shown;
        answerNextBox(QMessageBox::StandardButton(press), &shown);
        QCOMPARE(QtDesktop().messageBox(kind, "first line\rsecond line", buttons, nullptr),
                 expected);
        QCOMPARE(shown, seen);
    }

    void helpViewer() {
        QTemporaryDir folder;
        QVERIFY(ostrel::test::writeFile(folder.filePath("topic9.html"),
                                        "<html><body><p>About the error log</p></body></html>"));

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

    void tickCountMovesOn() {
        QtDesktop real;
        const std::uint32_t a = real.tickCount();
        QTRY_COMPARE_GE(real.tickCount() - a, 20u);
    }

    // Each close signal comes through the event loop, not from the handler, and the
    // handler found at start is back afterwards.
    void closeSignals() {
        for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
            struct sigaction before {};
            QCOMPARE(::sigaction(signo, nullptr, &before), 0);
            {
                CloseSignals signals_;
                QSignalSpy spy(&signals_, &CloseSignals::closeRequested);
                QCOMPARE(::raise(signo), 0);
                QVERIFY(spy.isEmpty());
                QVERIFY(spy.wait(5000));
                QCOMPARE(spy.size(), 1);
                QCOMPARE(spy.at(0).at(0).toInt(), signo);
            }
            struct sigaction now {};
            QCOMPARE(::sigaction(signo, nullptr, &now), 0);
            QCOMPARE(reinterpret_cast<void*>(now.sa_handler),
                     reinterpret_cast<void*>(before.sa_handler));
        }
    }
};

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
