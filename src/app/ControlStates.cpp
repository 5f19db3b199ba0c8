#include "app/ControlStates.h"

namespace ostrel {

namespace {

// A control is usable unless one of the conditions it lists holds.
enum Lock : unsigned {
    NoDriver = 1u << 0,
    Detecting = 1u << 1,
    Updating = 1u << 2,
    Recording = 1u << 3,
    EmailOnly = 1u << 4,
    WindowOpen = 1u << 5,
    NoOverlay = 1u << 6,
    NoFormatDialog = 1u << 7,
    NoSourceDialog = 1u << 8,
    NoDisplayDialog = 1u << 9,
};

// A session locks what would disturb it: the camera's settings, the other session, the
// network settings and the windows that use the FTP client. A control inside a locked
// group box is locked with it.
constexpr unsigned AnySession = Detecting | Updating | Recording;
constexpr struct {
    const char* name;
    unsigned lockedBy;
} rules[] = {
    {"GroupBox1", AnySession},                        // local display settings
    {"GroupBox2", Detecting | Updating},              // manual save: holds the recording button
    {"GroupBox3", Detecting | Recording | EmailOnly}, // website update
    {"GroupBox4", Updating | Recording},              // motion detection: holds its button
    {"btnSnapshot", Recording},
    {"BitBtnFrameCap", EmailOnly | WindowOpen},
    {"BitBtnMotion", WindowOpen},
    {"btnWebMgt", AnySession | EmailOnly | WindowOpen},
    {"EditInterval", Updating},
    {"edDetectInterval", Detecting},
    {"edDelay", Detecting},
    {"CheckBoxSound", Detecting},
    {"CheckBoxDetectionSound", Detecting},
    {"ScrollBarTreshold", Detecting},
    {"ScrollBarSensitivity", Detecting},
    {"rbLocalSave", Detecting},
    {"rbRemoteSave", Detecting},
    {"CheckPrev", NoDriver},
    {"CheckOverl", NoOverlay},
    {"menuVideoDriver1", AnySession},
    {"menuCaptureparameter1", AnySession},
    {"menuVideoCompression1", NoDriver | AnySession},
    {"menuVideoFormat", NoFormatDialog | Recording},
    {"menuVideoSource", NoSourceDialog | Recording},
    {"menuVideoDisplay", NoDisplayDialog},
    {"menuNetwork", Detecting | Updating | WindowOpen},
    {"menuRemoteMgt", Detecting | Updating | EmailOnly | WindowOpen},
    {"menuFileAnimation", Detecting | Updating},
    {"menuSnapshot", AnySession},
    {"menuVideo", Detecting | Updating},
    {"menuMotion", Updating | Recording | WindowOpen},
    {"menuPeriodicUpdate", Detecting | Recording | WindowOpen},
    {"menuWizard", AnySession | WindowOpen},
};

unsigned locksOf(const ProgramState& s) {
    unsigned locks = 0;
    const auto lockIf = [&](bool on, Lock lock) {
        if (on) locks |= lock;
    };
    lockIf(!s.driver, NoDriver);
    lockIf(s.detecting, Detecting);
    lockIf(s.updating, Updating);
    lockIf(s.recording, Recording);
    lockIf(s.emailOnly, EmailOnly);
    lockIf(s.windowOpen, WindowOpen);
    // Without a driver it offers nothing.
    lockIf(!s.driver || !s.hasOverlay, NoOverlay);
    lockIf(!s.driver || !s.hasFormatDialog, NoFormatDialog);
    lockIf(!s.hasSourceDialog, NoSourceDialog); // also a lost camera's
    lockIf(!s.driver || !s.hasDisplayDialog, NoDisplayDialog);
    return locks;
}

} // namespace

MainWindowLook mainWindowLook(const ProgramState& state) {
    const unsigned locks = locksOf(state);
    MainWindowLook look;
    look.controls.reserve(std::size(rules));
    for (const auto& rule : rules)
        look.controls.append({rule.name, (rule.lockedBy & locks) == 0});
    look.motionCaption = state.detecting ? QStringLiteral("Stop") : QStringLiteral("Start");
    look.motionMenu = state.detecting ? QStringLiteral("Stop Motion Detection")
                                      : QStringLiteral("Start Motion Detection");
    look.updateCaption = state.updating ? QStringLiteral("Stop") : QStringLiteral("Start");
    // The menu keeps its designed caption until the update first stops.
    look.updateMenu = state.updating       ? QStringLiteral("Stop Web Update")
                      : state.updateHasRun ? QStringLiteral("Start Web Update")
                                           : QStringLiteral("Start Website Update");
    look.websiteGroupGrey = state.emailOnly;
    return look;
}

} // namespace ostrel
