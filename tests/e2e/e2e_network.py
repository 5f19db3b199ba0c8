"""The account tests of the network settings the way a screen reader user runs them: the
FTP account's Test button says it logged in, and what the server said of a wrong password;
the mail account (STARTTLS and a login required) first shows the self-signed certificate it
refused, is trusted after that, then fails on the wrong password and succeeds on the right
one; saved, the choice and the trusted certificate stay in Ostrel.sif."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (PEERS, check, find, main_window, menu_by_key, press, read_ini, session,
                          start_ftp, wait_for)

USER = "webcam"
PASSWORD = "s3cret"


def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                    "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                    "-days", "2", "-keyout", key, "-out", cert], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    printed = subprocess.run(["openssl", "x509", "-fingerprint", "-sha256", "-noout", "-in", cert],
                             check=True, capture_output=True, text=True).stdout
    return cert, key, printed.strip().split("=", 1)[1]


def main():
    with session() as program:
        root, mails = program.path("ftp-root"), program.path("mails")
        os.mkdir(root)
        os.mkdir(mails)
        cert, key, fingerprint = make_certificate(program.folder)
        ftp, port = start_ftp(root, USER, PASSWORD)
        smtp = subprocess.Popen(["/usr/bin/python3", os.path.join(PEERS, "smtp_server.py"), mails,
                                 "--starttls", cert, key, "--auth", USER, PASSWORD],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        smtp_port = int(smtp.stdout.readline())
        try:
            walk(program, port, smtp_port, fingerprint)
        finally:
            for server in (ftp, smtp):
                server.stdin.close()
                server.wait(timeout=10)


def outcome(app, title):
    """The test window's outcome once the test has ended, as a screen reader hears it."""
    window = wait_for(lambda: find(app, "dialog", title, showing_only=True), 10, title)
    label = wait_for(lambda: find(window, "label", lambda n: (n or "").startswith(
        ("Success", "Failed")), showing_only=True), 30, f"the outcome of {title}")
    return window, label.name


def close(app, window, title):
    press(find(window, "push button", "Close"))
    wait_for(lambda: find(app, "dialog", title, showing_only=True) is None, 10, f"{title} to close")


def type_into(dialog, name, text):
    field = wait_for(lambda: find(dialog, "password text", name, showing_only=True), 10, name)
    field.queryEditableText().setTextContents(text)


def walk(program, port, smtp_port, fingerprint):
    program.write("Ostrel.sif",
                  "[FTP Settings]\nFTP_Host=127.0.0.1\nFTP_Port=%d\nUser_ID=%s\nPassword=%s\n"
                  "[Email Settings]\nSMTP_Host=127.0.0.1\nSMTP_Port=%d\nSecurity=STARTTLS\n"
                  "SMTP_UserName=%s\nSMTP_Password=guess\nUser_Address=cam@example.org\n"
                  "[Other Settings]\nFirstRun=0\n" % (port, USER, PASSWORD, smtp_port, USER))
    program.write("vcap.sif", "[Driver]\nindex=0\n")
    app = program.start()
    window, _ = main_window(app)
    menu_by_key(window, "Settings", "Network Settings...", "n")
    dialog = wait_for(lambda: find(app, "dialog", "Network Settings", showing_only=True), 10,
                      "the network settings")
    ftp_test, email_test = "Test FTP Account", "Test Email Account"
    press(wait_for(lambda: find(dialog, "push button", ftp_test, showing_only=True), 10, ftp_test))
    tester, said = outcome(app, ftp_test)
    check(said == "Success: logged in to 127.0.0.1 and listed the folder (0 names).",
          "the FTP test logs in and lists the folder")
    close(app, tester, ftp_test)
    type_into(dialog, "FTP Password :", "wrong")
    press(find(dialog, "push button", ftp_test))
    tester, said = outcome(app, ftp_test)
    check(said.startswith("Failed: the server refused the user name or password (530 "),
          "a wrong FTP password is told in plain words: " + said)
    close(app, tester, ftp_test)

    press(find(dialog, "push button", email_test))
    tester, said = outcome(app, email_test)
    check(said.startswith("Failed: the server's certificate was refused"),
          "the mail test refuses the certificate: " + said)
    check(fingerprint in said, "and shows it")
    press(find(tester, "push button", "Trust this certificate"))
    wait_for(lambda: find(tester, "label", lambda n: (n or "").startswith(
        "Failed: the server's certificate"), showing_only=True) is None, 10, "the test to run again")
    tester, said = outcome(app, email_test)
    check(said.startswith("Failed: the server refused the user name or password (535 "),
          "trusted, the test goes on to the login, which the server refuses: " + said)
    close(app, tester, email_test)
    type_into(dialog, "Email Password :", PASSWORD)
    press(find(dialog, "push button", email_test))
    tester, said = outcome(app, email_test)
    check(said == "Success: 127.0.0.1 answered over an encrypted connection and accepted the login.",
          "the mail test succeeds with the right password")
    close(app, tester, email_test)

    press(find(dialog, "push button", "Save Settings"))
    wait_for(lambda: find(app, "dialog", "Network Settings", showing_only=True) is None, 10,
             "the dialog to close")
    settings = read_ini(program.path("Ostrel.sif"))
    check(settings.get(("email settings", "security")) == "STARTTLS", "Ostrel.sif keeps the choice")
    check(settings.get(("email settings", "certificate_sha256")) == fingerprint,
          "and the trusted certificate")
    program.terminate()
    check(program.wait_exit() == 0, "the program ends normally")


if __name__ == "__main__":
    main()
