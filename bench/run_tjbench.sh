#!/bin/sh
# libjpeg-turbo's own benchmark on the frames bench_motion compresses: quality 90, 4:2:0,
# BGR, compression only. Compare its "Comp Perf" (megapixels per second) with the MP/s of
# EncodeJpeg in bench_motion.
#   bench/run_tjbench.sh [path/to/bench_motion]
set -eu
bench=${1:-build/bench/bench_motion}
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
"$bench" --dump-frames "$frames"
for frame in "$frames"/frame_*.bmp; do
    echo "== $(basename "$frame")"
    tjbench "$frame" 90 -subsamp 420 -componly -nowrite -quiet -benchtime 3 -warmup 1
done
