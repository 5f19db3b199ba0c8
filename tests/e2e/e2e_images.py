"""A detection session's images as a screen reader meets them: listed beside the video,
one selected (its recording time), viewed (the viewer's caption), saved elsewhere as the
very same bytes, deleted one by one and all at once."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import check, find, find_all, main_window, press, session, wait_for

RECORDED = re.compile(r"^Recorded:  \d\d [A-Z][a-z]+ \d{4} \d\d:\d\d:\d\d$")


def listed(images):
    return [item.name for item in find_all(images, "list item")]


def select(images, name):
    """Selects the entry as a screen reader does, through the list's table."""
    table = images.queryTable()
    for row in range(table.nRows):
        table.removeRowSelection(row)
    table.addRowSelection(listed(images).index(name))


def main():
    with session() as program:
        program.write("Ostrel.sif", "[Motion Detection]\nInterval=1\nStart_Delay=0\nTreshold=0\n"
                      "Sensitivity=100\n[Other Settings]\nFirstRun=0\n")
        program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=5\n")
        app = program.start()
        window, _ = main_window(app)
        motion = find(window, "push button", "Start", description="Motion detection")
        images = find(window, "list", "Latest Motion Detection images")
        press(motion)
        count = find(window, "label", description="Detection count")
        wait_for(lambda: len(listed(images)) >= 3, 60,
                 lambda: f"three detections ({count.name}, {listed(images)})")
        press(motion)
        wait_for(lambda: motion.name == "Start", 10, "the session to end")
        names = listed(images)
        folders = [d for d in os.listdir(program.folder)
                   if os.path.exists(os.path.join(program.folder, d, names[0]))]
        check(len(folders) == 1, f"one session folder: {folders}")
        folder = program.path(folders[0])
        check(sorted(os.listdir(folder)) == sorted(names), f"the list names the folder's files {names}")

        info = find(window, "label", description="Image date")
        select(images, names[0])
        wait_for(lambda: RECORDED.match(info.name or ""), 10, "the recording time line")
        first_line = info.name

        press(find(window, "push button", "View Picture"))
        viewer = wait_for(lambda: find(app, "dialog", lambda n: (n or "").startswith("Motion Image")),
                          10, "the viewer")
        check(viewer.name == "Motion Image - " + first_line, f"the viewer's caption {viewer.name!r}")
        picture = find(viewer, None, description="Picture")
        check(picture.name == names[0], f"the viewer shows {picture.name}")
        select(images, names[1])
        press(find(window, "push button", "View Picture"))
        wait_for(lambda: picture.name == names[1], 10, "the second picture in the open viewer")
        check(viewer.name == "Motion Image - " + first_line, "the caption stays as it was shown")

        copy = os.path.join(program.folder, "copy.jpg")
        press(find(viewer, "push button", "Save Image"))
        dialog = wait_for(lambda: find(app, "dialog", "Save Picture as..."), 10, "the save dialog")
        field = wait_for(lambda: find(dialog, "text", lambda n: (n or "").startswith("File name")),
                         10, "the file name field")
        field.queryEditableText().setTextContents(copy)
        press(find(dialog, "push button", "Save"))
        wait_for(lambda: os.path.exists(copy), 10, "the saved copy")
        with open(copy, "rb") as a, open(os.path.join(folder, names[1]), "rb") as b:
            check(a.read() == b.read(), "the copy is byte for byte the session's file")
        press(find(viewer, "push button", "Close"))

        select(images, names[1])
        press(find(window, "push button", "Delete"))
        wait_for(lambda: names[1] not in listed(images), 10, "the entry to go")
        check(not os.path.exists(os.path.join(folder, names[1])), "Delete removes the file")
        check(info.name == "Date and Time of Selected image", "and resets the information line")

        left = listed(images)
        for answer in ("No", "Yes"):
            select(images, left[0])
            press(find(window, "push button", "Delete All"))
            wait_for(lambda: find(app, None, "Delete all files locally saved in this session ?"),
                           10, "the question")
            press(wait_for(lambda: find(app, "push button", answer, showing_only=True), 10, answer))
            wait_for(lambda: find(app, None, "Delete all files locally saved in this session ?") is None,
                     10, "the question to close")
            if answer == "No":
                check(listed(images) == left, "No keeps every entry")
                check(sorted(os.listdir(folder)) == sorted(left), "and every file")
        wait_for(lambda: not listed(images), 10, "an empty list")
        check(not os.path.exists(folder), "Yes removes the files and the empty session folder")

        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program normally")


if __name__ == "__main__":
    main()
