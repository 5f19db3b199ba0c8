"""First start in an empty program folder, every control by its caption, close by
File > Exit and by SIGTERM, and the next start showing the picture at once."""
import os
import sys
import time

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (Program, check, find, find_all, labels_of, press, read_ini,
                          start_accessibility_bus, text_of, wait_for)

PUSH_BUTTONS = ["Snapshot", "Start Video", "View Picture", "Delete", "Delete All",
                "Remote Host Management"]
# Buttons whose caption changes: the name is the caption, the description says what for.
SESSION_BUTTONS = {"Start": ["Website update", "Motion detection"]}
CHECK_BOXES = ["Preview", "Overlay", "Fit to Window", "Prop. Scale", "Sound On",
               "Detection Sound On"]
RADIO_BUTTONS = ["Local Save", "Local and Remote"]
TEXT_FIELDS = ["Rate", "Snapshot file name", "Video file name", "Interval", "Start Delay",
               "Detection Interval"]
SCROLL_BARS = ["Sensitivity", "Treshold"]
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


def main_window(app):
    return wait_for(lambda: find(app, "frame", "Ostrel - Remote Surveillance"), 30, "main window")


def live_picture(app):
    video = wait_for(lambda: find(app, None, "Live video"), 20, "the video control")
    return wait_for(lambda: video.description.startswith("Live picture") and video.description,
                    20, "the first live frame")


def menu_item(app, menu, entry):
    return find(find(app, "menu", menu), "menu item", entry)


def main():
    source = os.environ["OSTREL_PROGRAM_DIR"]
    bus = start_accessibility_bus()
    program = Program(source)
    try:
        # First start: no settings at all, so the driver warning and the driver dialog appear.
        app = program.start()
        warning = wait_for(lambda: find(app, "label",
                                        "Could not activate video input device. Select a capture driver first."),
                           30, "the driver warning")
        check(warning is not None, "the driver warning is announced")
        dialog_ok = wait_for(lambda: find(app, "push button", "OK", showing_only=True), 10, "OK")
        press(dialog_ok)
        dialog = wait_for(lambda: find(app, "dialog", "Select Capture Driver"), 20, "driver dialog")
        combo = wait_for(lambda: find(dialog, "combo box"), 10, "driver list")
        items = [n.name for n in find_all(combo, "list item")] or [n.name for n in find_all(combo, "menu item")]
        check("Ostrel Virtual Camera 1.0" in items or "Ostrel Virtual Camera" in " ".join(items),
              f"the driver list offers the virtual camera ({items})")
        # As a keyboard user would: focus the list and step down to the first driver.
        combo.queryComponent().grabFocus()
        time.sleep(0.3)
        pyatspi.Registry.generateKeyboardEvent(0xff54, None, pyatspi.KEY_SYM)  # Down
        wait_for(lambda: combo.name.startswith("Ostrel Virtual Camera"), 10, "the driver chosen")
        press(find(dialog, "push button", "OK"))
        window = main_window(app)
        description = live_picture(app)
        check(description.startswith("Live picture"), f"the live picture is shown ({description})")

        for name in PUSH_BUTTONS:
            check(find(window, "push button", name) is not None, f"button '{name}'")
        for name, descriptions in SESSION_BUTTONS.items():
            for description in descriptions:
                check(find(window, "push button", name, description=description) is not None,
                      f"button '{name}' for {description}")
        for name in CHECK_BOXES:
            check(find(window, "check box", name) is not None, f"check box '{name}'")
        for name in RADIO_BUTTONS:
            check(find(window, "radio button", name) is not None, f"radio button '{name}'")
        for name in TEXT_FIELDS:
            check(find(window, "text", name) is not None, f"text field '{name}'")
        for name in SCROLL_BARS:
            check(find(window, "scroll bar", name) is not None, f"slider '{name}'")
        check(find(window, "list", "Latest Motion Detection images") is not None, "image list")
        menubar = find(window, "menu bar")
        for menu, entries in MENUS.items():
            node = find(menubar, "menu item", menu)
            check(node is not None, f"menu '{menu}'")
            names = labels_of(node, "menu item")
            for entry in entries:
                check(entry in names, f"menu entry '{menu} > {entry}'")
        rate = find(window, "text", "Rate")
        check(text_of(rate) == "15", "the Rate field reads 15")

        # File > Exit closes through the normal sequence.
        press(find(find(menubar, "menu item", "File"), "menu item", "Exit"))
        check(program.wait_exit() == 0, "File > Exit ends the program")
        settings = read_ini(program.path("Ostrel.sif"))
        check(settings.get(("motion detection", "sensitivity")) == "100", "Ostrel.sif holds the close keys")
        check(settings.get(("other settings", "firstrun")) == "1", "FirstRun is written")
        check(read_ini(program.path("vcap.sif")).get(("driver", "index")) == "0",
              "vcap.sif remembers the driver")
        check(oct(os.stat(program.path("Ostrel.sif")).st_mode & 0o777) == oct(0o600),
              "Ostrel.sif is readable by its owner only")
        for sub in ("Snapshots", "Videos", "Downloaded Images"):
            check(os.path.isdir(program.path(sub)), f"folder {sub} made in the program folder")
        check(os.path.isfile(program.path("Error.log")), "Error.log made in the program folder")
        check(not os.path.exists("/Ostrel.sif"), "nothing written to the current directory")

        # Second start: the picture at once, no questions; SIGTERM closes it properly.
        os.remove(program.path("Ostrel.sif"))
        app = program.start()
        window = main_window(app)
        check(find(app, "label", "Could not activate video input device. Select a capture driver first.") is None,
              "no driver warning at the next start")
        live_picture(app)
        check(True, "the next start shows the picture at once")
        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program normally")
        check(os.path.isfile(program.path("Ostrel.sif")), "SIGTERM still writes the settings")
    finally:
        program.cleanup()
        bus.terminate()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
