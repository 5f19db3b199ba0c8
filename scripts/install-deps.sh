#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Ostrel needs.
# Safe to run again: packages already present are skipped.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-multimedia-dev libqt6svg6
  # FFmpeg (capture, conversion, recording)
  libavdevice-dev libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev
  libswscale-dev libswresample-dev ffmpeg
  # JPEG
  libturbojpeg0-dev libjpeg62-turbo-dev libjpeg-turbo-progs
  # fonts: Liberation Mono stands in for Courier New
  fontconfig libfontconfig-dev fonts-liberation2
  # tests and benchmarks
  libbenchmark-dev python3 python3-pyftpdlib python3-aiosmtpd python3-openssl openssl curl chromium
  # a private sound server whose input hears what is played (recordings with sound)
  pulseaudio pulseaudio-utils
  xvfb xauth dbus dbus-x11 at-spi2-core python3-pyatspi python3-gi
  # checks the installed desktop entry
  desktop-file-utils
  # an RTSP camera for the network camera's tests
  python3-gst-1.0 gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # the libraries of ProFTPD, the second FTP server of the tests (unpacked below)
  libhiredis0.14 libmemcached11 libmemcachedutil2 libsodium23 libpcre2-posix3 libidn2-0 libcap2
  libacl1
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ProFTPD, the tests' second real FTP server, is unpacked into .cache/proftpd and started
# from there by the tests: installing its package would add system users and start a
# service on port 21.
proftpd_dir="$root/.cache/proftpd"
if [ ! -f "$proftpd_dir/usr/lib/proftpd/mod_tls.so" ]; then
  download="$(mktemp -d)"
  fetch() { (cd "$download" && apt-get download -qq proftpd-core proftpd-mod-crypto 2>/dev/null); }
  if ! fetch; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    fetch
  fi
  mkdir -p "$proftpd_dir"
  for deb in "$download"/*.deb; do dpkg-deb -x "$deb" "$proftpd_dir"; done
  rm -rf "$download"
fi
