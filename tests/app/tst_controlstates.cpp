// The main window's enabled controls as one function of the program's state, checked for
// every combination of the states against what a user must and must not be able to do;
// and what the window reports of a finished request.
#include "app/ControlStates.h"
#include "app/RequestReport.h"
#include <QHash>
#include <QtTest>

using namespace ostrel;

namespace {

ProgramState stateOf(unsigned bits) {
    ProgramState s;
    s.driver = bits & 1;
    s.detecting = bits & 2;
    s.updating = bits & 4;
    s.recording = bits & 8;
    s.emailOnly = bits & 16;
    s.windowOpen = bits & 32;
    // As the window asks: a driver's dialogs only when there is a driver.
    s.hasOverlay = s.hasFormatDialog = s.hasSourceDialog = s.hasDisplayDialog = s.driver;
    return s;
}
constexpr unsigned Combinations = 64;

QHash<QString, bool> enabledOf(const MainWindowLook& look) {
    QHash<QString, bool> on;
    for (const ControlEnabled& c : look.controls)
        on.insert(QLatin1String(c.name), c.enabled);
    return on;
}

} // namespace

class TestControlStates : public QObject {
    Q_OBJECT
private slots:
    void everyCombination_data() {
        QTest::addColumn<unsigned>("bits");
        for (unsigned bits = 0; bits < Combinations; ++bits)
            QTest::addRow("%02x", bits) << bits;
    }
    void everyCombination() {
        QFETCH(unsigned, bits);
        const ProgramState s = stateOf(bits);
        const MainWindowLook look = mainWindowLook(s);
        const auto on = enabledOf(look);
        const auto off = [&](std::initializer_list<const char*> names) {
            for (const char* n : names) {
                QVERIFY2(on.contains(n), n);
                QVERIFY2(!on.value(n), n);
            }
        };
        if (bits == 1) // the idle window with a driver offers everything
            QVERIFY2(on.keys(false).isEmpty(), qPrintable(on.keys(false).join(' ')));
        const bool anySession = s.detecting || s.updating || s.recording;
        // The camera's settings stay as they are while anything uses the camera.
        if (anySession)
            off({"GroupBox1", "menuVideoDriver1", "menuCaptureparameter1", "menuVideoCompression1",
                 "menuSnapshot", "menuWizard", "btnWebMgt"});
        // The sessions exclude each other.
        if (s.detecting)
            off({"GroupBox2", "GroupBox3", "menuVideo", "menuPeriodicUpdate", "menuNetwork",
                 "menuRemoteMgt", "edDetectInterval", "ScrollBarTreshold", "ScrollBarSensitivity",
                 "rbRemoteSave"});
        if (s.updating)
            off({"GroupBox2", "GroupBox4", "menuVideo", "menuMotion", "EditInterval", "menuNetwork",
                 "menuRemoteMgt"});
        if (s.recording)
            off({"GroupBox3", "GroupBox4", "menuMotion", "menuPeriodicUpdate", "btnSnapshot",
                 "menuVideoFormat", "menuVideoSource"});
        if (s.emailOnly) off({"btnWebMgt", "menuRemoteMgt", "BitBtnFrameCap", "GroupBox3"});
        if (!s.driver)
            off({"CheckPrev", "CheckOverl", "menuVideoCompression1", "menuVideoFormat",
                 "menuVideoSource", "menuVideoDisplay"});
        if (s.windowOpen)
            off({"menuWizard", "menuRemoteMgt", "btnWebMgt", "menuNetwork", "menuMotion",
                 "menuPeriodicUpdate"});

        // A session running alone can always be stopped by its own button and menu entry.
        const int sessions = s.detecting + s.updating + s.recording;
        if (sessions == 1 && !s.windowOpen) {
            if (s.detecting)
                for (const char* n : {"GroupBox4", "BitBtnMotion", "menuMotion"})
                    QVERIFY2(on[n], n);
            if (s.updating) {
                QVERIFY(on["menuPeriodicUpdate"]);
                if (!s.emailOnly) {
                    QVERIFY(on["GroupBox3"]);
                    QVERIFY(on["BitBtnFrameCap"]);
                }
            }
            if (s.recording) {
                QVERIFY(on["GroupBox2"]);
                QVERIFY(on["menuVideo"]);
            }
        }

        // More state never unlocks a control.
        for (unsigned more = 1; more < Combinations; more <<= 1) {
            if (bits & more || more == 1) continue; // the driver bit unlocks, by design
            const auto moreOn = enabledOf(mainWindowLook(stateOf(bits | more)));
            for (auto it = moreOn.cbegin(); it != moreOn.cend(); ++it)
                if (it.value()) QVERIFY2(on.value(it.key()), qPrintable(it.key()));
        }

        // The buttons' captions are checked with the sessions.
        QCOMPARE(look.motionMenu,
                 QString(s.detecting ? "Stop Motion Detection" : "Start Motion Detection"));
        QCOMPARE(look.updateMenu, QString(s.updating ? "Stop Web Update" : "Start Website Update"));
        QCOMPARE(look.websiteGroupGrey, s.emailOnly);
    }

    // What the main window makes of a finished request or mail.
    void requestDone() {
        struct {
            int error, tag;
            bool beepOnErrors;
            int newTag;
            bool reestablish, beep;
        } const rows[] = {
            {0, 0, true, 1, false, false},    // success
            {0, 3, true, 1, true, false},     // success while suspended
            {550, 1, true, 2, false, true},   // reply failure
            {550, 1, false, 2, false, false}, // no beep unless asked
            {10061, 3, true, 2, false, true}, // socket failure while suspended
            {332, 1, true, 2, false, true},   // an unexpected 3xx reply is no success
        };
        for (const auto& r : rows) {
            const FtpRequestOutcome out =
                ostrel::ftpRequestDone(r.error, r.tag, QStringLiteral("msg"), r.beepOnErrors);
            QCOMPARE(out.tag, r.newTag);
            QCOMPARE(out.reestablish, r.reestablish);
            QCOMPARE(out.report.failed, r.error != 0);
            QCOMPARE(out.report.beep, r.beep);
            QCOMPARE(out.report.logEntry,
                     r.error ? QStringLiteral(" :   FTP error = msg") : QString());
            QCOMPARE(out.report.statusText, r.error ? QStringLiteral("msg") : QString());
        }
        QCOMPARE(smtpMailDone(0, QStringLiteral("msg"), true).failed, false);
        const RequestReport mail = smtpMailDone(-1, QStringLiteral("File not found 'a.jpg'"), true);
        QCOMPARE(mail.failed, true);
        QCOMPARE(mail.beep, true);
        QCOMPARE(mail.statusText, QStringLiteral("File not found 'a.jpg'"));
        QCOMPARE(mail.logEntry, QStringLiteral(" :   SMTP error = File not found 'a.jpg'"));
    }
};

QTEST_GUILESS_MAIN(TestControlStates)
#include "tst_controlstates.moc"
