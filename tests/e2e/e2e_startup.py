"""First start in an empty program folder, every control by its caption, close by
File > Exit and by SIGTERM, and the next start showing the picture at once."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (answer, check, find, find_all, labels_of, main_window, menu_entry, press,
                          read_ini, session, text_of, wait_for)

# Every control by its role and caption. Buttons whose caption changes are found by caption
# and by the description that says what they are for.
CONTROLS = {
    "push button": ["Snapshot", "Start Video", "View Picture", "Delete", "Delete All",
                    "Remote Host Management", ("Start", "Website update"),
                    ("Start", "Motion detection")],
    "check box": ["Preview", "Overlay", "Fit to Window", "Prop. Scale", "Sound On",
                  "Detection Sound On"],
    "radio button": ["Local Save", "Local and Remote"],
    "text": ["Rate", "Snapshot file name", "Video file name", "Interval", "Start Delay",
             "Detection Interval"],
    "scroll bar": ["Sensitivity", "Treshold"],
    "list": ["Latest Motion Detection images"],
}
MENUS = {
    "File": ["Local Images Animation...", "Remote Host Management...",
             "Edit Browser View and Access...", "Run Configuration Wizard...",
             "View Error Log...", "Exit"],
    "Settings": ["Capture Driver...", "Capture Parameters...", "Video Source...",
                 "Video Format...", "Video Display...", "Video Compression...",
                 "Network Settings...", "Beep on Errors", "Log Errors"],
    "Tools": ["Take Snapshot", "Start Video Recording", "Start Website Update",
              "Start Motion Detection"],
    "Help": ["Help", "Help Index", "About"],
}


WIZARD = "Ostrel - Setup and Configuration Wizard - Step 1"
CANCEL_QUESTION = ("If you cancel this Wizard it will not start\n"
                   "again unless you run it from the menu \"File\".\n"
                   "Do you really want to Cancel ?")
DRIVER_WARNING = "Could not activate video input device. Select a capture driver first."


def main():
    with session() as program:
        # First start: no settings at all, so the driver warning and the driver dialog appear.
        app = program.start()
        wait_for(lambda: find(app, "label", DRIVER_WARNING), 30, "the driver warning")
        press(wait_for(lambda: find(app, "push button", "OK", showing_only=True), 10, "OK"))
        dialog = wait_for(lambda: find(app, "dialog", "Select Capture Driver"), 20, "driver dialog")
        combo = wait_for(lambda: find(dialog, "combo box"), 10, "driver list")
        items = [n.name for n in find_all(combo, "list item")] or [n.name for n in find_all(combo, "menu item")]
        check(any(i.startswith("Ostrel Virtual Camera") for i in items),
              f"the driver list offers the virtual camera ({items})")
        # As a keyboard user would: focus the list and step down to the first driver.
        combo.queryComponent().grabFocus()
        wait_for(lambda: combo.getState().contains(pyatspi.STATE_FOCUSED), 10, "the list focused")
        pyatspi.Registry.generateKeyboardEvent(0xff54, None, pyatspi.KEY_SYM)  # Down
        wait_for(lambda: combo.name.startswith("Ostrel Virtual Camera"), 10, "the driver chosen")
        press(find(dialog, "push button", "OK"))
        window, description = main_window(app)
        check(bool(description), f"the live picture is shown ({description})")
        # Then the setup wizard; cancelled for good, it does not come back.
        wizard = wait_for(lambda: find(app, "dialog", WIZARD, showing_only=True), 20, "the wizard")
        press(find(wizard, "push button", "Cancel Wizard"))
        answer(app, CANCEL_QUESTION, "Yes")
        wait_for(lambda: find(app, "dialog", WIZARD, showing_only=True) is None, 10,
                 "the wizard to end")

        for role, names in CONTROLS.items():
            for name in names:
                caption, purpose = name if isinstance(name, tuple) else (name, None)
                check(find(window, role, caption, description=purpose) is not None,
                      f"{role} '{caption}'" + (f" for {purpose}" if purpose else ""))
        menubar = find(window, "menu bar")
        for menu, entries in MENUS.items():
            names = labels_of(find(menubar, "menu item", menu), "menu item")
            for entry in entries:
                check(entry in names, f"menu entry '{menu} > {entry}'")
        check(text_of(find(window, "text", "Rate")) == "15", "the Rate field reads 15")

        # File > Exit closes through the normal sequence.
        press(menu_entry(window, "File", "Exit"))
        check(program.wait_exit() == 0, "File > Exit ends the program")
        settings = read_ini(program.path("Ostrel.sif"))
        check(settings.get(("motion detection", "sensitivity")) == "100", "Ostrel.sif holds the close keys")
        check(settings.get(("other settings", "firstrun")) == "0", "FirstRun=0 is written")
        check(read_ini(program.path("vcap.sif")).get(("driver", "index")) == "0",
              "vcap.sif remembers the driver")
        check(os.stat(program.path("Ostrel.sif")).st_mode & 0o777 == 0o600,
              "Ostrel.sif is readable by its owner only")
        for sub in ("Snapshots", "Videos", "Downloaded Images"):
            check(os.path.isdir(program.path(sub)), f"folder {sub} made in the program folder")
        check(os.path.isfile(program.path("Error.log")), "Error.log made in the program folder")
        check(not os.path.exists("/Ostrel.sif"), "nothing written to the current directory")

        # Second start without settings: the picture at once, and the wizard again, which
        # SIGTERM does not hold up.
        os.remove(program.path("Ostrel.sif"))
        app = program.start()
        main_window(app)
        check(find(app, "label", DRIVER_WARNING) is None, "the next start shows the picture at once")
        wait_for(lambda: find(app, "dialog", WIZARD, showing_only=True), 20, "the wizard")
        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program normally")
        check(os.path.isfile(program.path("Ostrel.sif")), "SIGTERM still writes the settings")


if __name__ == "__main__":
    main()
