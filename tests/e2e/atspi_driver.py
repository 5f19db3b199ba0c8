"""Small helpers to drive a Qt program through AT-SPI, as a screen reader would."""
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time

import pyatspi

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
MAIN_WINDOW = "Ostrel - Remote Surveillance"
DRIVER_WARNING = "Could not activate video input device. Select a capture driver first."
ESCAPE = 0xFF1B
# The web page's windows and boxes, heard by their captions and texts.
REMOTE_HOST = lambda name: (name or "").startswith("Ostrel - Remote Host File Management :   ftp://")
LOOK = "Ostrel - Website :  Look and Name Configuration"
DONE_HINT = ("Click on the \"Done\" button when you are finished\n"
             "changing the Name and Look of your Webpage.")
TAKEN_THERE = ("You will now be taken to the \"Remote Host Management\" window where\n"
               "you should click on the \"Upload Changes\" button to upload your changes.")
CLOSE_QUESTION = ("There are changes to the Webpage that have not yet been uploaded.\n"
                  "Do you want to upload them now ?")


def start_accessibility_bus():
    proc = subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Asked without activating it: a call to the name itself would start a second launcher.
    owned = lambda: b"true" in subprocess.run(
        ["dbus-send", "--session", "--print-reply=literal", "--dest=org.freedesktop.DBus", "/",
         "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    wait_for(owned, 30, "the accessibility bus")
    # libatspi reads the desktop's application list once and keeps it; if the registry is
    # still starting (or its first instance dies) that list stays empty for good. Asking the
    # registry here, until it answers, activates it before pyatspi ever looks.
    address = subprocess.run(
        ["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
         "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.strip()
    answers = lambda: subprocess.run(
        ["dbus-send", f"--bus={address}", "--print-reply", "--reply-timeout=5000",
         "--dest=org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
         "org.a11y.atspi.Accessible.GetChildren"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    wait_for(answers, 30, "the accessibility registry")
    return proc


def wait_for(predicate, timeout=20.0, what="condition"):
    deadline = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < deadline:
        try:
            result = predicate()
            if result:
                return result
        except Exception as error:  # the tree changes under us while windows open
            last_error = error
        time.sleep(0.2)
    what = what() if callable(what) else what
    raise AssertionError(f"timed out waiting for {what}" + (f" ({last_error})" if last_error else ""))


def find_app(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name and app.name.lower() == name.lower():
            return app
    return None


def walk(node, depth=0, limit=40):
    if node is None or depth > limit:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1, limit)


def find(root, role=None, name=None, showing_only=False, description=None):
    """The first node of the role whose name (and description) match; a name may be a
    function that tells whether a name matches."""
    for node in walk(root):
        try:
            if role is not None and node.getRoleName() != role:
                continue
            if callable(name):
                if not name(node.name):
                    continue
            elif name is not None and node.name != name:
                continue
            if description is not None and node.description != description:
                continue
            if showing_only and not node.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return node
        except Exception:
            continue
    return None


def find_all(root, role):
    out = []
    for node in walk(root):
        try:
            if node.getRoleName() == role:
                out.append(node)
        except Exception:
            pass
    return out


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "click", "Press", "Click", "activate", "toggle"):
            action.doAction(i)
            return
    action.doAction(0)


def menu_entry(window, menu, entry):
    return find(find(find(window, "menu bar"), "menu item", menu), "menu item", entry)


def main_window(app):
    """The main window once its first live frame is on screen, and that frame's description."""
    window = wait_for(lambda: find(app, "frame", MAIN_WINDOW), 30, "main window")
    video = wait_for(lambda: find(app, None, "Live video"), 20, "the video control")
    described = wait_for(lambda: video.description.startswith("Live picture") and video.description,
                         20, "the first live frame")
    return window, described


class Program:
    """The built program folder copied to a temporary place, started from elsewhere."""

    def __init__(self, source_dir):
        self.folder = tempfile.mkdtemp(prefix="ostrel-e2e-")
        shutil.copytree(source_dir, self.folder, dirs_exist_ok=True)
        self.proc = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, text):
        write_settings(self.path(name), text)

    def start(self, stderr=None):
        env = dict(os.environ)
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1", LC_ALL="C.UTF-8")
        self.proc = subprocess.Popen([self.path("ostrel")], cwd="/", env=env, stderr=stderr)
        return wait_for(lambda: find_app("ostrel") or find_app("Ostrel"), 30, "the program on the bus")

    def wait_exit(self, timeout=20):
        return self.proc.wait(timeout=timeout)

    def terminate(self, sig=signal.SIGTERM):
        self.proc.send_signal(sig)

    def cleanup(self):
        """Asks a program still running to close, so it ends as it would for the user (and
        writes what it measured of itself); one that hangs is killed."""
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


@contextlib.contextmanager
def session():
    """The accessibility bus and a fresh program folder, both gone afterwards."""
    bus = start_accessibility_bus()
    program = Program(os.environ["OSTREL_PROGRAM_DIR"])
    try:
        yield program
        print("1 passed, 0 failed")
    finally:
        program.cleanup()
        bus.terminate()


def write_settings(path, text):
    """A settings file as the program writes them, with CR LF line ends."""
    with open(path, "w", newline="") as f:
        f.write(text.replace("\n", "\r\n"))


def read_ini(path):
    values = {}
    section = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].lower()
            elif "=" in line and section is not None:
                k, v = line.split("=", 1)
                values.setdefault((section, k.strip().lower()), v.strip())
    return values


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok -", message, flush=True)


def key(keysym):
    """A key pressed and released, as the keyboard sends it to the focused window."""
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def menu_by_key(window, menu, entry, letter):
    """Opens a menu and picks an entry by its underlined letter, as a keyboard user does: an
    entry that opens a modal window does not hold up the caller until that window closes."""
    press(find(find(window, "menu bar"), "menu item", menu))
    item = menu_entry(window, menu, entry)
    wait_for(lambda: item.getState().contains(pyatspi.STATE_SHOWING), 10, f"{menu} > {entry}")
    key(ord(letter))


def answer(app, text, button):
    """Answers the message box that shows the text, and waits until it has gone."""
    wait_for(lambda: find(app, None, text, showing_only=True), 10, f"the box {text!r}")
    press(wait_for(lambda: find(app, "push button", button, showing_only=True), 10, button))
    wait_for(lambda: find(app, None, text, showing_only=True) is None, 10, f"the box {text!r} to close")


def click(node):
    """A left click in the middle of the node; with no window manager, it is how a window
    that lost the keyboard to a closed box gets it back."""
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "b1c")


def activate(window, label):
    """Gives the window the keyboard back by a click on one of its labels."""
    click(label)
    wait_for(lambda: window.getState().contains(pyatspi.STATE_ACTIVE), 10, "the window active")


def exit_with_page_pending(app, window, name):
    """A new page name left pending (Done leads on to the remote host window, closed by
    Escape), then File > Exit: the close asks whether to upload it."""
    menu_by_key(window, "File", "Edit Browser View and Access...", "b")
    look = wait_for(lambda: find(app, "dialog", LOOK, showing_only=True), 10, "the look window")
    find(look, "text", "New File Name").queryEditableText().setTextContents(name)
    press(find(look, "push button", "Save Name Change"))
    answer(app, DONE_HINT, "OK")
    press(find(look, "push button", "Done"))
    answer(app, TAKEN_THERE, "OK")
    host = wait_for(lambda: find(app, "dialog", REMOTE_HOST, showing_only=True), 20,
                    "the remote host window after Done")
    activate(host, find(host, "label", "Pending Changes"))
    key(ESCAPE)
    wait_for(lambda: not host.getState().contains(pyatspi.STATE_SHOWING), 10,
             "the remote host window to close")
    activate(window, find(window, "label", description="Detection count"))
    menu_by_key(window, "File", "Exit", "e")
    wait_for(lambda: find(app, None, CLOSE_QUESTION, showing_only=True), 10, "the close question")


def read_bytes(path):
    """A file's bytes, or nothing when it is not there."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""
