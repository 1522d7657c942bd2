#!/usr/bin/env bash
# Builds the benchmark in Release, generates its inputs (the full 1 MiB PSF 1.4 image, a
# 100,000-point GPX file and Kavel50 drives of 100 and 1,000 rides) and prints our times,
# gpsbabel's and the bare Qt floor's, with their ratios and peak memory. Not part of the test run. Extra arguments go to orvo-bench
# (--runs N, --work DIR).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

build=${ORVO_BENCH_BUILD_DIR:-$top/build/bench}
jobs=${ORVO_JOBS:-$(nproc)}

export CCACHE_BASEDIR=$top
export CCACHE_NOHASHDIR=1

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DORVO_BUILD_TESTS=OFF \
    -DORVO_BUILD_BENCH=ON \
    -DPython_EXECUTABLE=/usr/bin/python3 \
    -DPython3_EXECUTABLE=/usr/bin/python3 \
    -DPYTHON_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$build" -j "$jobs" --target orvo-bench

command -v gpsbabel >/dev/null || echo "gpsbabel is not installed: the peer columns stay empty"
"$build/bin/orvo-bench" "$@"
