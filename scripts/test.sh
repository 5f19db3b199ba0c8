#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test with CTest.
# Usage: scripts/test.sh [--sanitize] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode=()
dir="$root/build"
if [[ "${1:-}" == "--sanitize" ]]; then mode=(--sanitize); dir="$root/build-asan"; shift; fi
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "${mode[@]}"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
