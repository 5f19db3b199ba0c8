"""The web access page and the remote pictures from the outside, against a real FTP server:
the remote host window lists, views, downloads and deletes pictures; the look window renames
the page and changes its look, which Upload Changes sends and Discard drops; closing the
program with a change pending offers the upload first."""
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
REPLACE = ("This action will replace the existing file on the server. "
           "Do you really want to do this?")
NOTHING_TO_UPLOAD = "There are no changes to upload."


def tagged_jpeg(photo, tag):
    """The photograph with a comment segment, so every picture has bytes of its own."""
    comment = tag.encode()
    return photo[:2] + b"\xff\xfe" + (len(comment) + 2).to_bytes(2, "big") + comment + photo[2:]


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
                f.write(tagged_jpeg(photo, name))
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
    downloads = program.path("Downloaded Images")

    press(find(window, "push button", "Remote Host Management"))
    host = host_window(app, "from its button")
    wait_for(lambda: listed(host), 20, "the remote listing")
    check(sorted(listed(host)) == PICTURES,
          f"only plain .jpg pictures are listed, no Capture.jpg, .JPG, page or hostile name "
          f"{listed(host)}")

    # A key that makes an entry current views it.
    find(host, "list", "Motion Files").queryComponent().grabFocus()
    key(DOWN)
    picture = find(host, None, description="Picture")
    wait_for(lambda: picture.name in PICTURES, 20, "a picture to be viewed")
    first = picture.name
    check(read_bytes(program.path("TempRemoteFile.jpg")) == read_bytes(os.path.join(root, first)),
          f"viewing {first} fetches that remote file and shows it")
    key(DOWN)
    wait_for(lambda: picture.name not in (first, "No picture"), 20, "the next entry viewed")
    check(read_bytes(program.path("TempRemoteFile.jpg")) == read_bytes(os.path.join(root, picture.name)),
          f"moving to {picture.name} views that file instead (a fresh connection per view)")

    press(find(host, "push button", "Select All"))
    wait_for(lambda: len(ticked(host)) == 3, 10, "three ticked entries")
    press(find(host, "push button", "Download"))
    wait_for(lambda: not ticked(host), 30, "the downloads to untick their entries")
    check(all(read_bytes(os.path.join(downloads, n)) == read_bytes(os.path.join(root, n)) for n in PICTURES),
          "three ticked pictures download byte for byte into Downloaded Images")
    written = [n for top, dirs, files in os.walk(program.folder) if not top.startswith(root)
               for n in files + dirs]
    check(sorted(os.listdir(downloads)) == PICTURES,
          "the download folder holds only the chosen pictures")
    check(not any("escape" in n for n in written), "the hostile name reached no disk")

    # Tick the current entry by keys, as a keyboard user does.
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

    # A new name and a new look, uploaded together.
    look = open_look(app, window)
    rename(app, look, "garden")
    choose_size(look, 2, "1000x750")
    host = done_to_host(app, look)
    check(find(host, "label", description="Pending name").name == "garden.html",
          "the remote host window shows the pending name")
    check(find(host, "label", description="Pending image size").name == "1000x750", "and size")
    press(find(host, "push button", "Upload Changes"))
    answer(app, REPLACE, "Yes")
    uploaded = os.path.join(root, "garden.html")
    wait_for(lambda: os.path.exists(uploaded), 20, "garden.html on the server")
    lines = read_bytes(uploaded).decode(errors="replace").splitlines()
    check(lines[14:15] == ["width=1000 height=750"],
          "the page is uploaded under the new name with the chosen size line")
    check(not os.path.exists(program.path("Server/newlook.html")),
          "the uploaded look is not kept pending")
    close_host(host)

    look = open_look(app, window)
    current = lambda: text_of(find(look, "label", description="Current file name"))
    address = lambda: text_of(find(look, "label", description="Web address"))
    check(current() == "garden.html", "after the upload the current name is the new page's")
    check(address() == "http://127.0.0.1/webcam/garden.html", "and so is the web address")

    # A second name and look change, discarded: nothing is left to send.
    rename(app, look, "porch")
    choose_size(look, 1, "800x600")
    host = done_to_host(app, look)
    press(find(host, "push button", "Discard all Changes"))
    wait_for(lambda: find(host, "label", description="Pending name").name == "no change", 10,
             "the pending name cleared")
    press(find(host, "push button", "Upload Changes"))
    answer(app, NOTHING_TO_UPLOAD, "OK")
    close_host(host)
    look = open_look(app, window)
    check(current() == "garden.html", "Discard all Changes keeps the old name")
    check(sorted(os.listdir(root)) == sorted(
        ["Capture.jpg", "a.JPG", "garden.html", "page.html", HOSTILE] + listed_after_delete),
          "and leaves nothing to upload")

    # A change still pending when the program closes.
    exit_with_page_pending(app, window, look, "yard")
    answer(app, CLOSE_QUESTION, "Yes")
    host = host_window(app, "opened by Yes to the close question")
    close_host(host)
    check(program.wait_exit() == 0, "closing the remote host window lets the program end normally")


if __name__ == "__main__":
    main()
