#!/usr/bin/env bash
# Builds the benchmark in Release, generates its inputs (the full 1 MiB PSF 1.4 image, a
# 100,000-point GPX file and Kavel50 drives of 100 and 1,000 rides) and prints our times,
# gpsbabel's and the bare Qt floor's, with their ratios and peak memory. Not part of the test run. Extra arguments go to orvo-bench
# (--runs N, --work DIR).
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bash scripts/bench.sh [--runs N] [--work DIR]
       bash scripts/bench.sh --help

Builds the benchmark in Release, generates its inputs and prints our times, gpsbabel's and the
bare Qt floor's, with their ratios and peak memory.

Options:
  --runs N    runs of each measure (at least 1)
  --work DIR  keeps the generated inputs in DIR (a temporary folder)

Environment:
  ORVO_BENCH_BUILD_DIR  the build folder (build/bench)
  ORVO_JOBS             parallel build jobs (the number of processors)
USAGE
}

refuse() {
    usage >&2
    exit 2
}

# Checked before the build starts: a mistyped option must not cost a Release build.
arguments=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
    -h | --help)
        usage
        exit 0
        ;;
    --runs)
        [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || refuse
        shift 2
        ;;
    --work)
        [ -n "${2:-}" ] || refuse
        shift 2
        ;;
    *) refuse ;;
    esac
done

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
"$build/bin/orvo-bench" "${arguments[@]}"
