#!/usr/bin/env bash
# Runs an end-to-end script under its own X server and D-Bus session with the
# accessibility bus up, the way a screen reader meets the program.
# Usage: run_e2e.sh <script.py> [args...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
script="$1"; shift
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  dbus-run-session -- /usr/bin/python3 "$here/$script" "$@"
