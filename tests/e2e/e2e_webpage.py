"""The web access page and the remote pictures from the outside, against a real FTP server:
the remote host window lists, ticks and deletes pictures; a new name and look from the look
window are shown as pending and Discard drops them; closing the program with a change
pending offers the upload first."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (CLOSE_QUESTION, DOWN, DONE_HINT, RETURN, answer, check, click,
                          close_host, done_to_host, exit_with_page_pending, find, find_all,
                          host_window, key, main_window, open_look, press, read_bytes, rename,
                          session, start_ftp, text_of, wait_for)

USER = "webcam"
PASSWORD = "s3cret"
PICTURES = ["b.jpg", "c.jpg", "d.jpg"]
# A name a hostile server could send: a download under it would leave the download folder.
HOSTILE = "..\\..\\escape.jpg"
ARE_YOU_SURE = "This action can not be undone. \nAre you sure ?"
NOTHING_TO_UPLOAD = "There are no changes to upload."


def listed(host):
    return [item.name for item in find_all(find(host, "list", "Motion Files"), "list item")]


def ticked(host):
    return [item.name for item in find_all(find(host, "list", "Motion Files"), "list item")
            if item.getState().contains(pyatspi.STATE_CHECKED)]


def main():
    with session() as program:
        root = program.path("ftp-root")
        os.mkdir(root)
        photo = read_bytes(program.path("stopcap.jpg"))
        for name in PICTURES + ["Capture.jpg", "a.JPG", HOSTILE]:
            with open(os.path.join(root, name), "wb") as f:
                f.write(photo)
        with open(os.path.join(root, "page.html"), "w") as f:
            f.write("<html></html>\n")
        ftp, port = start_ftp(root, USER, PASSWORD)
        try:
            program.write("Ostrel.sif", "[FTP Settings]\nFTP_Host=127.0.0.1\nFTP_Port=%d\n"
                          "User_ID=%s\nPassword=%s\nPassive_Mode=1\n[Other Settings]\nFirstRun=0\n"
                          % (port, USER, PASSWORD))
            program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=0\n")
            drive(program, root)
        finally:
            ftp.stdin.close()
            ftp.wait(timeout=10)


def choose_size(look, steps, item):
    """Opens the size list by a click and steps down it by keys."""
    size = find_all(look, "combo box")[0]  # a combo box is named by its current item
    click(size)
    wait_for(lambda: size.getState().contains(pyatspi.STATE_EXPANDED), 10, "the size list open")
    for keysym in [DOWN] * steps + [RETURN]:
        key(keysym)
    wait_for(lambda: size.name == item, 10, f"the size {item} chosen")
    press(find(look, "push button", "Save Look Change"))
    answer(look.getApplication(), DONE_HINT, "OK")


def drive(program, root):
    app = program.start()
    window, _ = main_window(app)

    press(find(window, "push button", "Remote Host Management"))
    host = host_window(app, "from its button")
    wait_for(lambda: listed(host), 20, "the remote listing")
    check(sorted(listed(host)) == PICTURES,
          f"only plain .jpg pictures are listed, no Capture.jpg, .JPG, page or hostile name "
          f"{listed(host)}")

    press(find(host, "push button", "Select All"))
    wait_for(lambda: len(ticked(host)) == 3, 10, "three ticked entries")
    press(find(host, "push button", "Deselect All"))
    wait_for(lambda: not ticked(host), 10, "no ticked entry")
    # Tick an entry by keys, as a keyboard user does.
    find(host, "list", "Motion Files").queryComponent().grabFocus()
    key(DOWN)
    key(ord(" "))
    wait_for(lambda: len(ticked(host)) == 1, 10, "one ticked entry")
    doomed = ticked(host)[0]
    for reply in ("No", "Yes"):
        press(find(host, "push button", "Delete"))
        answer(app, ARE_YOU_SURE, reply)
        if reply == "No":
            check(os.path.exists(os.path.join(root, doomed)), "Delete answered No deletes nothing")
            check(ticked(host) == [doomed], "and keeps the entry ticked")
    listed_after_delete = sorted(set(PICTURES) - {doomed})
    wait_for(lambda: sorted(listed(host)) == listed_after_delete, 20, "the list read anew")
    check(all(os.path.exists(os.path.join(root, n)) == (n != doomed) for n in PICTURES),
          f"Yes deletes the ticked {doomed} on the server only, and the list is read anew")
    close_host(host)

    # A name and look change shown as pending, then discarded: nothing is left to send.
    look = open_look(app, window)
    rename(app, look, "porch")
    choose_size(look, 2, "1000x750")
    host = done_to_host(app, look)
    check(find(host, "label", description="Pending name").name == "porch.html",
          "the remote host window shows the pending name")
    check(find(host, "label", description="Pending image size").name == "1000x750", "and size")
    press(find(host, "push button", "Discard all Changes"))
    wait_for(lambda: find(host, "label", description="Pending name").name == "no change", 10,
             "the pending name cleared")
    press(find(host, "push button", "Upload Changes"))
    answer(app, NOTHING_TO_UPLOAD, "OK")
    close_host(host)
    look = open_look(app, window)
    check(text_of(find(look, "label", description="Current file name")) == "ostrel.html",
          "Discard all Changes keeps the old name")
    check(sorted(os.listdir(root)) == sorted(
        ["Capture.jpg", "a.JPG", "page.html", HOSTILE] + listed_after_delete),
          "and leaves nothing to upload")

    # A change still pending when the program closes.
    exit_with_page_pending(app, window, look, "yard")
    answer(app, CLOSE_QUESTION, "Yes")
    host = host_window(app, "opened by Yes to the close question")
    close_host(host)
    check(program.wait_exit() == 0, "closing the remote host window lets the program end normally")


if __name__ == "__main__":
    main()
