#!/usr/bin/env bash
# Configures and builds Ostrel. Usage: scripts/build.sh [--sanitize]
# Plain builds go to build/. Sanitizer builds go to build-asan/: clang with AddressSanitizer
# and UndefinedBehaviorSanitizer, the tests and the libFuzzer targets (tests/fuzz), no
# benchmarks.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
extra=()
if [[ "${1:-}" == "--sanitize" ]]; then
  dir="$root/build-asan"
  extra+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
          -DOSTREL_SANITIZE=ON -DOSTREL_BUILD_FUZZ=ON -DOSTREL_BUILD_BENCH=OFF)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
