// The main window's enabled controls as one function of the program's state, checked for
// every combination of the states against what a user must and must not be able to do.
#include "app/ControlStates.h"
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
        // Named, so that a failure says which control.
        const auto expect = [&](bool enabled, std::initializer_list<const char*> names) {
            for (const QString n : names)
                QCOMPARE(n + (on.contains(n) ? on[n] ? " on" : " off" : " missing"),
                         n + (enabled ? " on" : " off"));
        };
        if (bits == 1) // the idle window with a driver offers everything
            QVERIFY2(on.keys(false).isEmpty(), qPrintable(on.keys(false).join(' ')));
        // The camera's settings stay as they are while anything uses the camera.
        const int sessions = s.detecting + s.updating + s.recording;
        if (sessions > 0)
            expect(false, {"GroupBox1", "menuVideoDriver1", "menuCaptureparameter1",
                           "menuVideoCompression1", "menuSnapshot", "menuWizard", "btnWebMgt"});
        // The sessions exclude each other.
        if (s.detecting)
            expect(false, {"GroupBox2", "GroupBox3", "menuVideo", "menuPeriodicUpdate",
                           "menuNetwork", "menuRemoteMgt", "edDetectInterval", "ScrollBarTreshold",
                           "ScrollBarSensitivity", "rbRemoteSave"});
        if (s.updating)
            expect(false, {"GroupBox2", "GroupBox4", "menuVideo", "menuMotion", "EditInterval",
                           "menuNetwork", "menuRemoteMgt"});
        if (s.recording)
            expect(false, {"GroupBox3", "GroupBox4", "menuMotion", "menuPeriodicUpdate",
                           "btnSnapshot", "menuVideoFormat", "menuVideoSource"});
        if (s.emailOnly)
            expect(false, {"btnWebMgt", "menuRemoteMgt", "BitBtnFrameCap", "GroupBox3"});
        if (!s.driver)
            expect(false, {"CheckPrev", "CheckOverl", "menuVideoCompression1", "menuVideoFormat",
                           "menuVideoSource", "menuVideoDisplay"});
        if (s.windowOpen)
            expect(false, {"menuWizard", "menuRemoteMgt", "btnWebMgt", "menuNetwork", "menuMotion",
                           "menuPeriodicUpdate"});

        // A session running alone can always be stopped by its own button and menu entry.
        if (sessions == 1 && !s.windowOpen) {
            if (s.detecting) expect(true, {"GroupBox4", "BitBtnMotion", "menuMotion"});
            if (s.updating) expect(true, {"menuPeriodicUpdate"});
            if (s.updating && !s.emailOnly) expect(true, {"GroupBox3", "BitBtnFrameCap"});
            if (s.recording) expect(true, {"GroupBox2", "menuVideo"});
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
};

QTEST_GUILESS_MAIN(TestControlStates)
#include "tst_controlstates.moc"
