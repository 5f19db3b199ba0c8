#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test with CTest.
# Usage: scripts/test.sh [--sanitize] [ctest arguments...]
# Each step's elapsed and CPU time is printed, so a slow run shows where it went.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode=()
dir="$root/build"
if [[ "${1:-}" == "--sanitize" ]]; then mode=(--sanitize); dir="$root/build-asan"; shift; fi
timed() {
  local TIMEFORMAT="test.sh: $1 took %0R s (CPU %0U s user, %0S s system)"
  shift
  time "$@"
}
timed "packages" bash "$root/scripts/install-deps.sh"
timed "build of ${dir##*/}" bash "$root/scripts/build.sh" "${mode[@]}"
timed "tests in ${dir##*/}" ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
