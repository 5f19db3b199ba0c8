"""The setup wizard the way a screen reader user walks it. A first start shows it once the
main window is up; "Yes FTP, Yes notify" against a real FTP server uploads the page and the
stop pictures and keeps the accounts (the FTP server's and a real SMTP server's); the next
start comes without the wizard, and run again from the File menu "No FTP" leaves an
e-mail-only set-up."""
import os
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (check, find, main_window, menu_by_key, press, read_bytes, read_ini,
                          session, start_ftp, start_smtp, wait_for)

USER = "webcam"
PASSWORD = "s3cret pass"
STEP = "Ostrel - Setup and Configuration Wizard - Step %d"
DONE = "Ostrel - Wizard Finished"


def page(app, n):
    return wait_for(lambda: find(app, "dialog", STEP % n, showing_only=True), 20, f"wizard step {n}")


def fill(window, values):
    for name, text in values.items():
        field = wait_for(lambda: find(window, "text", name, showing_only=True)
                         or find(window, "password text", name, showing_only=True), 10, name)
        field.queryEditableText().setTextContents(text)


def finish(app, step3):
    press(find(step3, "push button", "Finish"))
    done = wait_for(lambda: find(app, "dialog", DONE, showing_only=True), 60, "the final page")
    press(find(done, "push button", "OK"))
    wait_for(lambda: find(app, "dialog", DONE, showing_only=True) is None, 10, "the wizard to end")


def main():
    with session() as program:
        root, mails = program.path("ftp-root"), program.path("mails")
        os.mkdir(root)
        os.mkdir(mails)
        ftp, port = start_ftp(root, USER, PASSWORD)
        smtp, smtp_port = start_smtp(mails)
        try:
            walk(program, root, mails, port, smtp_port)
        finally:
            for server in (ftp, smtp):
                server.stdin.close()
                server.wait(timeout=10)


def walk(program, root, mails, port, smtp_port):
    # A new user's folder; the servers listen on ports of their own instead of 21 and 25.
    program.write("Ostrel.sif", "[FTP Settings]\nFTP_Port=%d\n[Email Settings]\nSMTP_Port=%d\n"
                  % (port, smtp_port))
    program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=0\n")
    app = program.start()
    window, _ = main_window(app)
    step1 = page(app, 1)
    next_button = find(step1, "push button", "Next")
    press(find(step1, "check box", lambda n: (n or "").startswith("Yes, I have webspace")))
    wait_for(lambda: find(step1, "check box", lambda n: (n or "").startswith("Yes, I want"),
                          showing_only=True), 10, "the notify question")
    check(not next_button.getState().contains(pyatspi.STATE_ENABLED),
          "Next waits for the notify answer")
    press(find(step1, "check box", lambda n: (n or "").startswith("Yes, I want")))
    fill(step1, {"FTP Host Name :": "127.0.0.1", "Your FTP User Name :": USER,
                 "Your FTP Password :": PASSWORD, "SMTP Host Name :": "127.0.0.1",
                 "Your Email User Name :": "jane", "Your Email Password :": "mail pass",
                 "Your Email Address :": "jane@example.org",
                 "Send Email Notifications to:": "watch@example.net"})
    press(next_button)
    step2 = page(app, 2)
    check(find(step2, "label", "watch@example.net") is not None,
          "the summary names the destination")
    press(find(step2, "push button", "Next"))
    step3 = page(app, 3)
    check(find(step3, "label", "Upload to:  ftp://127.0.0.1/%s/" % USER) is not None,
          "step 3 says where the files go")
    finish(app, step3)

    on_host = lambda name: read_bytes(os.path.join(root, name))
    check(on_host("ostrel.html") == read_bytes(program.path("Server/ostrel.html")),
          "ostrel.html is on the host")
    check(on_host("Capture.jpg") == read_bytes(program.path("Server/stopcap.jpg")),
          "the stop picture is on the host as Capture.jpg")
    check(on_host("datetime.bmp") == read_bytes(program.path("Server/stoptime.bmp")),
          "the stop stamp is on the host as datetime.bmp")

    program.terminate()
    check(program.wait_exit() == 0, "the program ends normally")
    settings = read_ini(program.path("Ostrel.sif"))
    expected = {("ftp settings", "ftp_host"): "127.0.0.1", ("ftp settings", "user_id"): USER,
                ("ftp settings", "password"): PASSWORD, ("ftp settings", "ftp_port"): str(port),
                ("email settings", "smtp_host"): "127.0.0.1",
                ("email settings", "destination_address"): "watch@example.net",
                ("protocol settings", "notification"): "1",
                ("protocol settings", "emailonly"): "0", ("other settings", "firstrun"): "0"}
    check(all(settings.get(k) == v for k, v in expected.items()),
          "Ostrel.sif keeps the accounts and FirstRun=0")

    # The next start comes without the wizard; run from the menu, "No FTP" sets up e-mail only.
    app = program.start()
    window, _ = main_window(app)
    check(find(app, "dialog", STEP % 1, showing_only=True) is None, "no wizard at the next start")
    menu_by_key(window, "File", "Run Configuration Wizard...", "w")
    step1 = page(app, 1)
    press(find(step1, "check box", lambda n: (n or "").startswith("No, I do not have webspace")))
    fill(step1, {"SMTP Host Name :": "127.0.0.1", "Your Email User Name :": "jane",
                 "Your Email Password :": "mail pass", "Your Email Address :": "jane@example.org",
                 "Send Email Notifications to:": "other@example.net"})
    press(find(step1, "push button", "Next"))
    step2 = page(app, 2)
    check(find(step2, "label", lambda n: (n or "").startswith("Without webspace nothing is uploaded"),
               showing_only=True) is not None, "the summary says nothing is uploaded")
    press(find(step2, "push button", "Next"))
    finish(app, page(app, 3))
    remote = find(window, "push button", "Remote Host Management")
    check(not remote.getState().contains(pyatspi.STATE_ENABLED),
          "remote host management is off in e-mail-only mode")
    program.terminate()
    check(program.wait_exit() == 0, "the program ends normally")
    settings = read_ini(program.path("Ostrel.sif"))
    for key, value in ((("protocol settings", "emailonly"), "1"),
                       (("protocol settings", "ftpupload"), "0"),
                       (("email settings", "destination_address"), "other@example.net")):
        check(settings.get(key) == value, f"Ostrel.sif holds an e-mail-only set-up: {key} {value}")


if __name__ == "__main__":
    main()
