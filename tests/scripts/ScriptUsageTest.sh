#!/usr/bin/env bash
# --help on the user's scripts prints their usage and exits 0 before anything starts: the
# build folder they would make stays absent. A wrong argument prints the usage and fails.
set -uo pipefail

top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# script, arguments, expected exit code, where the usage goes
cases=(
    "run.sh|--help|0|stdout"
    "run.sh|--demo -h|0|stdout"
    "run.sh|--bogus|2|stderr"
    "test.sh|--help|0|stdout"
    "test.sh|--bogus|2|stderr"
    "fuzz.sh|--help|0|stdout"
    "fuzz.sh|-h|0|stdout"
    "fuzz.sh|--verison|2|stderr"
    "fuzz.sh|10 20|2|stderr"
    "bench.sh|--help|0|stdout"
    "bench.sh|--runs 3 --help|0|stdout"
    "bench.sh|--verison|2|stderr"
    "bench.sh|--runs many|2|stderr"
)

for row in "${cases[@]}"; do
    IFS='|' read -r script arguments expected stream <<<"$row"
    build="$work/build-$script-$expected"
    # shellcheck disable=SC2086 # the arguments are split on purpose
    ORVO_BUILD_DIR=$build ORVO_FUZZ_BUILD_DIR=$build ORVO_BENCH_BUILD_DIR=$build timeout 20 bash "$top/scripts/$script" $arguments >"$work/out" 2>"$work/err"
    code=$?
    usage_file="$work/out"
    [ "$stream" = stderr ] && usage_file="$work/err"
    if [ "$code" -ne "$expected" ]; then
        echo "FAIL $script $arguments: exit $code, expected $expected"
        failures=$((failures + 1))
    elif ! grep -q "^usage: bash scripts/$script" "$usage_file"; then
        echo "FAIL $script $arguments: no usage on $stream"
        cat "$work/out" "$work/err"
        failures=$((failures + 1))
    elif [ -e "$build" ]; then
        echo "FAIL $script $arguments: the build folder was made"
        failures=$((failures + 1))
    else
        echo "ok   $script $arguments"
    fi
done
exit $((failures > 0))
