#pragma once
// Which controls of the main window can be used, and what the session buttons say, as one
// function of the program's state. The main window applies it whenever the state changes,
// so no handler switches controls on its own and two handlers cannot disagree.
#include <QList>
#include <QString>

namespace ostrel {

struct ProgramState {
    bool driver = false;       // a capture driver is chosen
    bool detecting = false;    // a motion detection session runs
    bool updating = false;     // the website update runs
    bool updateHasRun = false; // ... or ran earlier in this run of the program
    bool recording = false;    // a video recording runs
    bool emailOnly = false;    // images go out by e-mail only
    bool windowOpen = false;   // the setup wizard or remote host management is open
    // What the chosen driver offers.
    bool hasOverlay = false;
    bool hasFormatDialog = false;
    bool hasSourceDialog = false;
    bool hasDisplayDialog = false;
};

struct ControlEnabled {
    const char* name; // object name of a widget or menu action
    bool enabled;
};

struct MainWindowLook {
    QList<ControlEnabled> controls;
    QString motionCaption; // BitBtnMotion
    QString motionMenu;    // menuMotion
    QString updateCaption; // BitBtnFrameCap
    QString updateMenu;    // menuPeriodicUpdate
    bool websiteGroupGrey = false;
};

MainWindowLook mainWindowLook(const ProgramState& state);

} // namespace ostrel
