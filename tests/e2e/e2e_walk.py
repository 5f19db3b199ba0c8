"""One walk through the running program the way a screen reader user makes it, for what the
window tests cannot see: every control named, a detection session of the virtual camera
producing numbered pictures, the picture saved through the real file dialog, and each
session's button, menu entry and Active badge telling their current state."""
import os
import re
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (check, find, find_all, main_window, menu_entry, press, read_bytes,
                          session, wait_for, walk)

# The roles a user acts on or reads a value from; each such control says what it is.
CONTROL_ROLES = {"push button", "check box", "radio button", "text", "scroll bar", "list",
                 "menu item"}
COUNT = " Latest Motion Detection Count: "
RECORDED = re.compile(r"^Recorded:  \d\d [A-Z][a-z]+ \d{4} \d\d:\d\d:\d\d$")
# Each session: its button (caption and purpose), the caption and Tools entry while it runs,
# and whether an Active badge beside the button says so.
SESSIONS = [
    (("Start", "Motion detection"), "Stop", "Stop Motion Detection", True),
    (("Start Video", None), "Stop Video", "Stop Video Recording", False),
    (("Start", "Website update"), "Stop", "Stop Web Update", True),
]


def controls_named(window):
    """Each control has a name, and none shares its role and name with a sibling, which a
    screen reader user could not tell apart."""
    controls = []
    for parent in walk(window):
        children = [parent.getChildAtIndex(i) for i in range(parent.childCount)]
        named = [(c.getRoleName(), c.name) for c in children if c.getRoleName() in CONTROL_ROLES]
        controls += [(role, name, named) for role, name in named]
    check({role for role, _, _ in controls} == CONTROL_ROLES, "every kind of control is reached")
    check([role for role, name, _ in controls if not name] == [],
          "every control has an accessible name")
    check([name for role, name, beside in controls if beside.count((role, name)) > 1] == [],
          "no two controls side by side share a name")
    menubar = find(window, "menu bar")
    for menu in find_all(menubar, "menu item"):
        if menu.parent == menubar:
            check(find_all(menu, "menu item") != [], f"the {menu.name} menu has entries")


def listed(images):
    return [item.name for item in find_all(images, "list item")]


def detections(label):
    name = label.name or ""
    return int(name.strip().rsplit(" ", 1)[-1]) if name.startswith(COUNT) else -1


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def run_session(window, caption, purpose, running, entry, badged):
    """Starts the session by its button and stops it again, hearing what changes."""
    button = find(window, "push button", caption, description=purpose)
    badge = find(button.parent, "label", "Active") if badged else None
    press(button)
    wait_for(lambda: button.name == running, 20, f"the button to say {running}")
    check(menu_entry(window, "Tools", entry) is not None, f"the Tools menu offers {entry}")
    if badge is not None:
        check(showing(badge), f"the Active badge shows beside {running}")
    press(button)
    wait_for(lambda: button.name == caption, 20, f"the button to say {caption} again")
    if badge is not None:
        check(not showing(badge), f"the badge goes with {caption}")
    return button


def session_pictures(app, window, program):
    """A detection session's pictures listed, one selected, viewed and saved elsewhere."""
    count = find(window, "label", description="Detection count")
    check(detections(count) == 0, f"the detection count reads 0 ({count.name!r})")
    images = find(window, "list", "Latest Motion Detection images")
    button = find(window, "push button", "Start", description="Motion detection")
    press(button)
    wait_for(lambda: listed(images), 60, lambda: f"a detection ({count.name})")
    check(detections(count) >= 1, f"the detection count follows: {count.name!r}")
    press(button)
    wait_for(lambda: button.name == "Start", 10, "the session to end")
    names = listed(images)
    check(names[0] == "image001.jpg", f"the pictures are numbered from image001.jpg: {names}")
    folders = [d for d in os.listdir(program.folder)
               if os.path.isfile(os.path.join(program.folder, d, names[0]))]
    check(len(folders) == 1, f"one session folder: {folders}")
    folder = program.path(folders[0])
    check(sorted(os.listdir(folder)) == sorted(names), "the list names the folder's files")

    # Selected through the list's table, as a screen reader selects.
    images.queryTable().addRowSelection(0)
    info = find(window, "label", description="Image date")
    wait_for(lambda: RECORDED.match(info.name or ""), 10, "the recording time line")
    press(find(window, "push button", "View Picture"))
    viewer = wait_for(lambda: find(app, "dialog", lambda n: (n or "").startswith("Motion Image")),
                      10, "the viewer")
    copy = program.path("copy.jpg")
    press(find(viewer, "push button", "Save Image"))
    dialog = wait_for(lambda: find(app, "dialog", "Save Picture as..."), 10, "the save dialog")
    field = wait_for(lambda: find(dialog, "text", lambda n: (n or "").startswith("File name")),
                     10, "the file name field")
    field.queryEditableText().setTextContents(copy)
    press(find(dialog, "push button", "Save"))
    wait_for(lambda: os.path.exists(copy), 10, "the saved copy")
    check(read_bytes(copy) == read_bytes(os.path.join(folder, names[0])),
          "the file dialog's copy is byte for byte the session's picture")
    press(find(viewer, "push button", "Close"))
    wait_for(lambda: not showing(viewer), 10, "the viewer to close")


def main():
    with session() as program:
        program.write("Ostrel.sif", "[Motion Detection]\nInterval=1\nStart_Delay=0\nTreshold=0\n"
                      "Sensitivity=100\n[Other Settings]\nFirstRun=0\n")
        program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=2\n")
        app = program.start()
        window, _ = main_window(app)
        controls_named(window)
        session_pictures(app, window, program)
        for (caption, purpose), running, entry, badged in SESSIONS:
            run_session(window, caption, purpose, running, entry, badged)


if __name__ == "__main__":
    main()
