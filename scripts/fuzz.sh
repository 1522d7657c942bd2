#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for the given number of
# seconds (60 unless given), starting from its seed corpus and its saved regressions. What a
# target finds (crashes, sanitizer reports, time-outs, inputs that run out of memory) is saved
# under build/fuzz/findings/<target>; the inputs that reached new code stay in
# build/fuzz/work/<target> for the next run. Exits non-zero when anything was found.
# Not part of the test run: CTest replays the corpus and the regressions there.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bash scripts/fuzz.sh [SECONDS]
       bash scripts/fuzz.sh --help

Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS (60), starting from
its seed corpus and its saved regressions. Findings go to build/fuzz/findings/<target>; exits
non-zero when anything was found.

Environment:
  ORVO_FUZZ_BUILD_DIR  the build folder (build/fuzz)
  ORVO_JOBS            parallel build jobs (the number of processors)
USAGE
}

if [ $# -gt 1 ]; then
    usage >&2
    exit 2
fi
seconds=${1:-60}
case "$seconds" in
-h | --help)
    usage
    exit 0
    ;;
'' | *[!0-9]*)
    usage >&2
    exit 2
    ;;
esac

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

build=${ORVO_FUZZ_BUILD_DIR:-$top/build/fuzz}
jobs=${ORVO_JOBS:-$(nproc)}

export CCACHE_BASEDIR=$top
export CCACHE_NOHASHDIR=1

CXX=clang++-14 cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DORVO_BUILD_TESTS=OFF \
    -DORVO_BUILD_FUZZ=ON \
    -DPython_EXECUTABLE=/usr/bin/python3 \
    -DPython3_EXECUTABLE=/usr/bin/python3 \
    -DPYTHON_EXECUTABLE=/usr/bin/python3 >/dev/null
mapfile -t targets <"$build/tests/fuzz/targets.txt"
cmake --build "$build" -j "$jobs" --target orvo_fuzz_corpus "${targets[@]/#/fuzz_}"

# Qt's allocations that live to the exit are no finding of ours.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

found=0
for target in "${targets[@]}"; do
    work="$build/work/$target"
    findings="$top/build/fuzz/findings/$target"
    mkdir -p "$work" "$findings"
    regressions=()
    [ -d "tests/fuzz/regressions/$target" ] && regressions=("tests/fuzz/regressions/$target")
    echo "== $target: $seconds s"
    if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "$build/tests/fuzz/corpus/$target" "${regressions[@]}" >"$findings/log.txt" 2>&1; then
        found=1
        echo "   finding: see $findings"
    fi
    tail -n 12 "$findings/log.txt" | grep -E '^(stat::|Done|==|SUMMARY)' || true
done
exit $found
