"""A detection session heard the way a screen reader hears it: the motion button says
Stop while the session runs, and the detection count and the image list can be read as
the virtual camera's figure crosses the room."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import pyatspi
from atspi_driver import check, find, find_all, main_window, menu_entry, press, session, wait_for

COUNT = " Latest Motion Detection Count: "


def detections(label):
    name = label.name or ""
    return int(name.strip().rsplit(" ", 1)[-1]) if name.startswith(COUNT) else -1


def main():
    with session() as program:
        program.write("Ostrel.sif", "[Motion Detection]\nInterval=1\nStart_Delay=0\nTreshold=0\n"
                      "Sensitivity=100\n[Other Settings]\nFirstRun=0\n")
        program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=2\n")
        window, _ = main_window(program.start())
        button = wait_for(lambda: find(window, "push button", "Start",
                                       description="Motion detection"), 10, "the motion button")
        count = find(window, "label", lambda n: (n or "").startswith(COUNT),
                     description="Detection count")
        check(count is not None, "the detection count is there to be read")
        check(detections(count) == 0, "the detection count reads 0")
        check(find(window, "label", description="Status") is not None,
              "the status panel is there to be read")

        press(button)
        wait_for(lambda: button.name == "Stop", 10, "the motion button's name to be its Stop caption")
        check(menu_entry(window, "Tools", "Stop Motion Detection") is not None,
              "the Tools menu offers Stop Motion Detection")
        website = find(window, "push button", "Start", description="Website update")
        check(website is not None, "the website update's button is there")
        check(not website.getState().contains(pyatspi.STATE_ENABLED),
              "the website update cannot start meanwhile")

        n = wait_for(lambda: max(detections(count), 0), 30, "a detection")
        check(n >= 1, f"the detection count reads {n}")
        images = find(window, "list", "Latest Motion Detection images")
        items = [i.name for i in find_all(images, "list item")]
        check(items[:1] == ["image001.jpg"], f"the image list names {items[:3]}")

        press(button)
        wait_for(lambda: button.name == "Start", 10, "the motion button to say Start again")
        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program normally")


if __name__ == "__main__":
    main()
