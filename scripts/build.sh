#!/usr/bin/env bash
# Configures and builds Ostrel. Usage: scripts/build.sh [--sanitize]
# Plain builds go to build/, sanitizer builds (AddressSanitizer + UBSan) to build-asan/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
extra=()
if [[ "${1:-}" == "--sanitize" ]]; then
  dir="$root/build-asan"
  extra+=(-DOSTREL_SANITIZE=ON -DOSTREL_BUILD_BENCH=OFF)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
