"""A recording made the way a screen reader user makes one: Start Video says Stop Video
while it records and the motion detection cannot start meanwhile; the file plays; and a
recording cut short by SIGTERM is still a playable file."""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import pyatspi
from atspi_driver import check, find, main_window, menu_entry, press, session, wait_for


def packets(path):
    """Video packets a player reads from the file, or -1 when it cannot be read."""
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v",
                          "-show_entries", "stream=codec_name,nb_read_packets", "-of", "json",
                          path], capture_output=True, text=True)
    streams = json.loads(out.stdout or "{}").get("streams", [])
    return int(streams[0].get("nb_read_packets", -1)) if streams else -1


def main():
    with session() as program:
        program.write("Ostrel.sif", "[Other Settings]\nFirstRun=0\n")
        program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=0\n")
        video = program.path("Videos/Video.avi")
        window, _ = main_window(program.start())
        record = wait_for(lambda: find(window, "push button", "Start Video"), 10,
                          "the Start Video button")
        motion = find(window, "push button", "Start", description="Motion detection")

        press(record)
        wait_for(lambda: record.name == "Stop Video", 10, "the button to say Stop Video")
        check(menu_entry(window, "Tools", "Stop Video Recording") is not None,
              "the Tools menu offers Stop Video Recording")
        check(not motion.getState().contains(pyatspi.STATE_ENABLED),
              "the motion detection cannot start while recording")
        wait_for(lambda: packets(video) >= 20, 60, "twenty pictures in the file being written")
        press(record)
        wait_for(lambda: record.name == "Start Video", 10, "the button to say Start Video again")
        check(motion.getState().contains(pyatspi.STATE_ENABLED),
              "the motion detection can start again")
        n = packets(video)
        check(n >= 20, f"Videos/Video.avi plays: {n} pictures")

        os.remove(video)  # what is counted next is the second recording's
        press(record)
        wait_for(lambda: record.name == "Stop Video", 10, "a second recording to begin")
        wait_for(lambda: packets(video) >= 10, 60, "ten pictures in the second file")
        program.terminate()
        check(program.wait_exit() == 0, "SIGTERM ends the program during the recording")
        n = packets(video)
        check(n >= 10, f"the cut-short recording plays: {n} pictures")


if __name__ == "__main__":
    main()
