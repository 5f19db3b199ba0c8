"""The installed program: `cmake --install` lays out bin/, share/ostrel/, the desktop entry
and the icon; started by a user who cannot write in bin/, the program keeps its files in
$XDG_DATA_HOME/ostrel/, seeded with the data files it lacks, and says so in Error.log.
Usage: e2e_install.py <build folder>"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import check, read_bytes, read_ini, wait_for, write_settings


def snapshot(folder):
    """Every path below the folder with its size and modification time."""
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            st = os.lstat(os.path.join(root, name))
            out[os.path.join(root, name)] = (st.st_size, st.st_mtime_ns)
    return out


def main():
    build = sys.argv[1]
    work = tempfile.mkdtemp(prefix="ostrel-install-")
    try:
        os.chmod(work, 0o755)
        prefix = os.path.join(work, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        desktop_file = os.path.join(prefix, "share/applications/ostrel.desktop")
        entry = read_ini(desktop_file)
        check(entry.get(("desktop entry", "exec")) == "ostrel", "the desktop entry starts ostrel")
        check(entry.get(("desktop entry", "icon")) == "ostrel", "with its icon")
        if shutil.which("desktop-file-validate"):
            validated = subprocess.run(["desktop-file-validate", desktop_file],
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            check(validated.returncode == 0, "desktop-file-validate accepts the desktop entry "
                  f"({validated.stdout.decode(errors='replace').strip()!r})")
        check(os.path.isfile(os.path.join(prefix, "share/icons/hicolor/scalable/apps/ostrel.svg")),
              "the icon is installed")

        # A user who cannot write in the prefix (root writes anywhere: the program runs as
        # nobody then), with a driver and FirstRun=0 kept in the data folder: when the
        # program reads them, no driver dialog and no wizard wait for an answer.
        home = os.path.join(work, "home")
        kept = os.path.join(home, "data", "ostrel")
        os.makedirs(kept)
        write_settings(os.path.join(kept, "vcap.sif"), "[Driver]\nIndex=0\n")
        write_settings(os.path.join(kept, "Ostrel.sif"), "[Other Settings]\nFirstRun=0\n")
        with open(os.path.join(kept, "imgempty.jpg"), "wb") as f:
            f.write(b"the user's own")
        as_user = []
        if os.geteuid() == 0:
            as_user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
            subprocess.run(["chown", "-R", "nobody:nogroup", home], check=True)
        else:
            os.chmod(os.path.join(prefix, "bin"), 0o555)
        installed = snapshot(prefix)

        env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
                   QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
        program = as_user + [os.path.join(prefix, "bin/ostrel")]
        log = os.path.join(kept, "Error.log")
        notice = (f"The program folder {prefix}/bin/ is read-only: "
                  f"files are kept in {kept}/").encode()
        first = subprocess.Popen(program, cwd="/", env=env)
        last = None
        try:
            wait_for(lambda: notice in read_bytes(log), 60,
                     "Error.log to say where the files are kept")

            # A second copy on the same folder names the first and ends, changing nothing.
            # The first has finished starting once the last window made its page preview.
            wait_for(lambda: os.path.exists(os.path.join(kept, "Server", "testview.html")), 60,
                     "the first copy's windows")
            before = snapshot(kept)
            second = subprocess.run(program, cwd="/", env=env, stderr=subprocess.PIPE, timeout=60)
            check(second.returncode != 0, f"a second copy ends with code {second.returncode}")
            said = second.stderr.decode(errors="replace")
            check(f"Ostrel is already running on the program folder {kept}/ (process {first.pid})."
                  in said, f"and names the first one ({said.strip()!r})")
            check(snapshot(kept) == before, "and leaves the folder as it was")

            # A copy that crashed leaves no lock behind.
            first.kill()
            first.wait()
            last = subprocess.Popen(program, cwd="/", env=env)
            wait_for(lambda: read_bytes(log).count(notice) == 2, 60, "the next start's notice")
            last.send_signal(signal.SIGTERM)
            check(last.wait(timeout=30) == 0, "the next copy starts, and SIGTERM ends it normally")
        finally:
            for proc in (first, last):
                if proc and proc.poll() is None:
                    proc.kill()
                    proc.wait()

        settings = read_ini(os.path.join(kept, "Ostrel.sif"))
        check(settings.get(("motion detection", "sensitivity")) == "100",
              "the settings are written in the data folder")
        for data_file in ("Help/index.html", "stopcap.jpg"):
            check(os.path.isfile(os.path.join(kept, data_file)),
                  f"{data_file} is copied into the data folder")
        check(read_bytes(os.path.join(kept, "imgempty.jpg")) == b"the user's own",
              "a file the user has there is not replaced")
        check(snapshot(prefix) == installed, "nothing is written into the prefix")
        print("1 passed, 0 failed")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
