"""A detection session heard the way a screen reader hears it: the motion button says
Stop while the session runs, and the detection count and the image list can be read as
the virtual camera's figure crosses the room."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import Program, check, find, find_all, press, start_accessibility_bus, wait_for

COUNT = " Latest Motion Detection Count: "


def write_settings(program):
    with open(program.path("Ostrel.sif"), "w", newline="") as f:
        f.write("[Motion Detection]\r\nInterval=1\r\nStart_Delay=0\r\nTreshold=0\r\n"
                "Sensitivity=100\r\n[Other Settings]\r\nFirstRun=0\r\n")
    with open(program.path("vcap.sif"), "w", newline="") as f:
        f.write("[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nMotion_Interval=2\r\n")


def detections(label):
    name = label.name or ""
    return int(name.strip().rsplit(" ", 1)[-1]) if name.startswith(COUNT) else -1


def main():
    bus = start_accessibility_bus()
    program = Program(os.environ["OSTREL_PROGRAM_DIR"])
    try:
        write_settings(program)
        app = program.start()
        window = wait_for(lambda: find(app, "frame", "Ostrel - Remote Surveillance"), 30,
                          "main window")
        video = wait_for(lambda: find(app, None, "Live video"), 20, "the video control")
        wait_for(lambda: video.description.startswith("Live picture"), 20, "the first live frame")

        button = wait_for(lambda: find(window, "push button", "Start",
                                       description="Motion detection"), 10, "the motion button")
        count = find(window, "label", lambda n: (n or "").startswith(COUNT),
                     description="Detection count")
        check(count is not None and detections(count) == 0, "the detection count reads 0")
        status = find(window, "label", description="Status")
        check(status is not None, "the status panel is there to be read")

        press(button)
        wait_for(lambda: button.name == "Stop", 10, "the motion button to say Stop")
        check(button.name == "Stop", "the motion button's name is its Stop caption")
        menu = find(find(find(window, "menu bar"), "menu item", "Tools"), "menu item",
                    "Stop Motion Detection")
        check(menu is not None, "the Tools menu offers Stop Motion Detection")
        website = find(window, "push button", "Start", description="Website update")
        check(website is not None and not website.getState().contains(__import__("pyatspi").STATE_ENABLED),
              "the website update cannot start meanwhile")

        wait_for(lambda: detections(count) >= 1, 30, "a detection")
        n = detections(count)
        check(n >= 1, f"the detection count reads {n}")
        images = find(window, "list", "Latest Motion Detection images")
        items = [i.name for i in find_all(images, "list item")]
        check(len(items) >= 1 and items[0] == "image001.jpg", f"the image list names {items[:3]}")

        press(button)
        wait_for(lambda: button.name == "Start", 10, "the motion button to say Start")
        check(button.name == "Start", "the motion button says Start again")
        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program normally")
    finally:
        program.cleanup()
        bus.terminate()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
