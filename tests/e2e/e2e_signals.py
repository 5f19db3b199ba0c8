"""A close asked for by SIGTERM, SIGINT or SIGHUP ends the program through the normal close
sequence, whatever runs at that moment: a modal window or box, the driver
dialog of the first start, the motion start delay, a settings file that cannot be written.
A second signal while that close runs ends the program at once."""
import os
import re
import select
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (DRIVER_WARNING, check, exit_with_page_pending, find, main_window,
                          menu_by_key, press, read_ini, session, wait_for)

SETTINGS = "[Motion Detection]\nStart_Delay=60\n[Other Settings]\nFirstRun=0\n"
VCAP = "[Driver]\nindex=0\n"


def driver_warning(app, _program=None):
    wait_for(lambda: find(app, "label", DRIVER_WARNING, showing_only=True), 30, "the driver warning")


def driver_dialog(app, _program):
    driver_warning(app)
    press(wait_for(lambda: find(app, "push button", "OK", showing_only=True), 10, "OK"))
    wait_for(lambda: find(app, "dialog", "Select Capture Driver", showing_only=True), 20,
             "the driver dialog")


def network_dialog(app, _program):
    window, _ = main_window(app)
    menu_by_key(window, "Settings", "Network Settings...", "n")
    wait_for(lambda: find(app, "dialog", "Network Settings", showing_only=True), 10,
             "the network settings")


def close_question(app, _program):
    """File > Exit with a page name change not yet uploaded asks whether to upload it."""
    window, _ = main_window(app)
    exit_with_page_pending(app, window, "yard")


SESSION_FOLDER = re.compile(r"^\d\d-\d\d-\d\d_\d\d\.\d\d\.\d\d$")


def start_delay(app, program):
    window, _ = main_window(app)
    button = wait_for(lambda: find(window, "push button", "Start", description="Motion detection"),
                      10, "the motion button")
    press(button)
    # The session's folder is made as the minute's delay begins.
    wait_for(lambda: any(SESSION_FOLDER.match(name) for name in os.listdir(program.folder)), 10,
             "the session folder")


def main_only(app, _program):
    main_window(app)


def website_start(app, _program):
    window, _ = main_window(app)
    press(wait_for(lambda: find(window, "push button", "Start", description="Website update"),
                   10, "the website update's button"))
    # Connected, and waiting for a greeting that never comes.
    wait_for(lambda: select.select([SILENT_HOST], [], [], 0)[0], 20, "the connection")


# An FTP host that takes connections and never says a word.
SILENT_HOST = socket.socket()
SILENT_HOST.bind(("127.0.0.1", 0))
SILENT_HOST.listen(8)
SILENT_FTP = ("[FTP Settings]\nFTP_Host=127.0.0.1\nFTP_Port=%d\nUser_ID=u\nPassword=p\n"
              % SILENT_HOST.getsockname()[1])


# Name, what is written before the start (nothing, the settings above, or those and more),
# the moment, the signal, and whether Ostrel.sif is read-only. Every close writes the
# Sensitivity key, which the files above leave out.
ROWS = [
    ("the first start's driver warning", False, driver_warning, signal.SIGINT, False),
    ("the first start's driver dialog", False, driver_dialog, signal.SIGTERM, False),
    ("the network settings", True, network_dialog, signal.SIGHUP, False),
    ("the close's question", True, close_question, signal.SIGTERM, False),
    ("the motion start delay", True, start_delay, signal.SIGTERM, False),
    ("a read-only Ostrel.sif", True, main_only, signal.SIGINT, True),
    # The close publishes the stop pictures, on a host that does not answer.
    ("the website update", SILENT_FTP, website_start, signal.SIGTERM, False),
]


def prepare(program, settings, read_only=False):
    """A fresh start: no files left from the row before, the rows' own settings if any."""
    for name in ("Ostrel.sif", "vcap.sif", "Error.log"):
        path = program.path(name)
        if os.path.exists(path):
            os.chmod(path, 0o600)
            os.remove(path)
    if settings:
        program.write("Ostrel.sif", SETTINGS + (settings if isinstance(settings, str) else ""))
        program.write("vcap.sif", VCAP)
    if read_only:
        os.chmod(program.path("Ostrel.sif"), 0o400)


def ends_in(program, seconds):
    started = time.monotonic()
    code = program.wait_exit(timeout=seconds)
    return code, time.monotonic() - started


def main():
    with session() as program:
        for name, settings, moment, sig, read_only in ROWS:
            prepare(program, settings, read_only)
            with open(program.path("stderr.txt"), "w") as errors:
                app = program.start(stderr=errors)
                moment(app, program)
            program.terminate(sig)
            code, took = ends_in(program, 60)
            check(code == 0, f"{sig.name} during {name}: exit code {code} after {took:.1f} s")
            sif = read_ini(program.path("Ostrel.sif"))
            with open(program.path("Error.log"), encoding="utf-8", errors="replace") as f:
                log = f.read()
            if read_only:
                check(("motion detection", "sensitivity") not in sif, "Ostrel.sif stays untouched")
                check("Unable to write to" in log, f"the settings error is in Error.log ({log.strip()!r})")
                check("Ostrel.sif" in log, "and names the file")
                with open(program.path("stderr.txt"), encoding="utf-8", errors="replace") as f:
                    check("Ostrel.sif" in f.read(), "and on standard error")
            else:
                check(sif.get(("motion detection", "sensitivity")) == "100",
                      "the close wrote Ostrel.sif")

        # Two signals at once: the second does not wait for the close the first began. Either
        # may be handled first; two of the same kind could merge into one.
        prepare(program, True)
        main_window(program.start())
        program.terminate(signal.SIGTERM)
        program.terminate(signal.SIGHUP)
        code, took = ends_in(program, 60)
        check(code in (128 + signal.SIGTERM, 128 + signal.SIGHUP),
              f"a second signal ends the program: exit code {code} after {took:.1f} s")


if __name__ == "__main__":
    main()
