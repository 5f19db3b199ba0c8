#!/usr/bin/env bash
# Makes the pictures that ship beside the program: the stop pictures the website shows
# while the camera is off (stopcap.jpg, and the 200 x 18 stamp stoptime.bmp), and the
# neutral "no image" picture imgempty.jpg. Each goes into data/ and data/Server/.
# Needs the ffmpeg command line tool and fonts-liberation2. Run again to remake them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
font=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
mono=/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# A dark grey picture with a crossed-out camera message.
ff -f lavfi -i "color=c=0x303030:s=640x480:d=1" -frames:v 1 \
   -vf "drawbox=x=120:y=150:w=400:h=180:color=0x8b0000@1:t=fill,\
drawtext=fontfile=$font:text='CAMERA STOPPED':fontcolor=white:fontsize=40:x=(w-text_w)/2:y=190,\
drawtext=fontfile=$font:text='The webcam is not transmitting at the moment.':fontcolor=0xdddddd:fontsize=18:x=(w-text_w)/2:y=260" \
   -q:v 3 "$tmp/stopcap.jpg"

# The matching stamp: black text on red, 200 x 18, 24-bit bottom-up bitmap.
ff -f lavfi -i "color=c=red:s=200x18:d=1" -frames:v 1 \
   -vf "drawtext=fontfile=$mono:text=' Camera stopped ':fontcolor=black:fontsize=13:x=0:y=2" \
   -pix_fmt bgr24 "$tmp/stoptime.bmp"

# A neutral picture for a missing image.
ff -f lavfi -i "color=c=0xc0c0c0:s=320x240:d=1" -frames:v 1 \
   -vf "drawtext=fontfile=$font:text='No image':fontcolor=0x606060:fontsize=28:x=(w-text_w)/2:y=(h-text_h)/2" \
   -q:v 3 "$tmp/imgempty.jpg"

for dest in "$root/data" "$root/data/Server"; do
  mkdir -p "$dest"
  cp "$tmp/stopcap.jpg" "$tmp/stoptime.bmp" "$tmp/imgempty.jpg" "$dest/"
done
echo "pictures written to data/ and data/Server/"
