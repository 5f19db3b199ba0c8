"""First start in an empty program folder, every control named, close by
File > Exit and by SIGTERM, and the next start showing the picture at once."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (DOWN, DRIVER_WARNING, answer, check, find, find_all, key, main_window,
                          menu_entry, press, read_ini, session, wait_for, walk)

# The roles a user acts on or reads a value from; each such control says what it is.
CONTROL_ROLES = {"push button", "check box", "radio button", "text", "scroll bar", "list",
                 "menu item"}


WIZARD = "Ostrel - Setup and Configuration Wizard - Step 1"
CANCEL_QUESTION = ("If you cancel this Wizard it will not start\n"
                   "again unless you run it from the menu \"File\".\n"
                   "Do you really want to Cancel ?")


def controls_of(window):
    """Each control's role and name, with those of the controls beside it."""
    for parent in walk(window):
        children = [parent.getChildAtIndex(i) for i in range(parent.childCount)]
        named = [(c.getRoleName(), c.name) for c in children if c.getRoleName() in CONTROL_ROLES]
        yield from ((role, name, named) for role, name in named)


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
        key(DOWN)
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

        # Siblings of one role and one name could not be told apart by a screen reader user.
        controls = list(controls_of(window))
        check({role for role, _, _ in controls} == CONTROL_ROLES, "every kind of control is reached")
        check([role for role, name, _ in controls if not name] == [],
              "every control has an accessible name")
        check([name for role, name, beside in controls if beside.count((role, name)) > 1] == [],
              "no two controls side by side share a name")
        menubar = find(window, "menu bar")
        for menu in find_all(menubar, "menu item"):
            if menu.parent == menubar:
                check(find_all(menu, "menu item") != [], f"the {menu.name} menu has entries")

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
