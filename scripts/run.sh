#!/usr/bin/env bash
# Installs what Ostrel needs, builds it and starts it from its program folder build/ostrel/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
exec "$root/build/ostrel/ostrel" "$@"
