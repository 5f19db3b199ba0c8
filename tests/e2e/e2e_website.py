"""The website update from the outside: the Start button pressed through AT-SPI publishes
the camera's frame and its stamp on a real FTP server, and SIGTERM closes the program
through its normal close, which leaves the stop pictures on the server."""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(__file__))
from atspi_driver import (check, find, main_window, menu_entry, press, read_bytes, session,
                          start_ftp, wait_for)

USER = "webcam"
PASSWORD = "s3cret"




def jpeg_size(data):
    """(width, height) from the first baseline or progressive frame header."""
    i = 2
    while i + 9 <= len(data) and data[i] == 0xFF:
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC2):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    return None


def bmp_header(data):
    """(width, height, bits per pixel) of a bitmap file."""
    if len(data) < 30 or data[:2] != b"BM":
        return None
    width, height = struct.unpack("<ii", data[18:26])
    return width, height, struct.unpack("<H", data[28:30])[0]


def main():
    with session() as program:
        root = program.path("ftp-root")
        os.mkdir(root)
        ftp, port = start_ftp(root, USER, PASSWORD)
        try:
            publish(program, root, port)
        finally:
            ftp.stdin.close()
            ftp.wait(timeout=10)


def publish(program, root, port):
    program.write("Ostrel.sif", "[FTP Settings]\nFTP_Host=127.0.0.1\nFTP_Port=%d\nUser_ID=%s\n"
                  "Password=%s\nPassive_Mode=1\nUpdate_Interval=5\n"
                  "[Other Settings]\nFirstRun=0\nCamera=Gate\n" % (port, USER, PASSWORD))
    program.write("vcap.sif", "[Driver]\nindex=0\n[Virtual Camera]\nMotion_Interval=0\n")
    window, _ = main_window(program.start())
    start = wait_for(lambda: find(window, "push button", "Start", description="Website update"),
                     10, "the website update's Start button")
    press(start)
    wait_for(lambda: start.name == "Stop", 20, "the button to say Stop")
    # Both files arrive whole: the host's copies equal the program folder's.
    on_host = lambda name: read_bytes(os.path.join(root, name))
    wait_for(lambda: on_host("datetime.bmp") and on_host("datetime.bmp") == read_bytes(program.path("datetime.bmp")),
             20, "datetime.bmp on the host")
    published = on_host("Capture.jpg")
    check(published == read_bytes(program.path("Capture.jpg")), "Capture.jpg is on the host")
    check(published != read_bytes(program.path("stopcap.jpg")), "it is the frame, not a stop picture")
    check(jpeg_size(published) == (640, 480), "Capture.jpg is a 640 x 480 JPEG")
    check(bmp_header(on_host("datetime.bmp")) == (200, 18, 24), "datetime.bmp is a 200 x 18 24-bit bitmap")
    wait_for(lambda: find(window, "label", "Active", showing_only=True), 10, "the Active badge")
    check(menu_entry(window, "Tools", "Stop Web Update") is not None,
          "the Tools menu offers Stop Web Update")

    program.terminate()
    check(program.wait_exit() == 0, "SIGTERM ends the program normally")
    check(on_host("Capture.jpg") == read_bytes(program.path("stopcap.jpg")),
          "the stop picture replaced Capture.jpg on the host")
    check(on_host("datetime.bmp") == read_bytes(program.path("stoptime.bmp")),
          "the stop stamp replaced datetime.bmp on the host")
    check(b"FTP error" not in read_bytes(program.path("Error.log")), "no FTP error was logged")


if __name__ == "__main__":
    main()
