#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time, starting from its seed corpus.
# Usage: run_fuzz.sh <fuzzer> <seed folder> <work folder> <seconds>
# Inputs that reach new code go to <work folder>/corpus, never into the seeds. An input
# that crashes, leaks or hangs is kept in <work folder>/ under the name libFuzzer prints
# ("Test unit written to ..."); run the fuzzer on that file alone to see it again.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus"
exec "$fuzzer" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$seeds"
