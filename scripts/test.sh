#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test with CTest.
# Usage: scripts/test.sh [--sanitize] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode=()
if [[ "${1:-}" == "--sanitize" ]]; then mode=(--sanitize); shift; fi
bash "$root/scripts/install-deps.sh"
dir="$(bash "$root/scripts/build.sh" "${mode[@]}" | tail -n 1)"
ctest --test-dir "$dir" --output-on-failure "$@"
