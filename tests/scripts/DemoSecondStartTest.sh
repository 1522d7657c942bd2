#!/usr/bin/env bash
# run.sh --demo daemon over this build's programs, as a user meets it: with the daemon's port
# taken by another web server the script announces no address and fails with the daemon's exit;
# a second start while the demo runs leaves the running demo's devices as the user left them.
#
#   DemoSecondStartTest.sh <source folder> <build folder> <program version>
set -uo pipefail

top=$1
build=$2
version=$3

source "$(dirname "$0")/ScriptTestLib.sh"

# The demo writes its devices into the build folder: a folder of our own that reaches this
# build's programs keeps the build's demo untouched.
mkdir -p "$work/build" "$work/data" "$work/tmp"
ln -s "$build/bin" "$work/build/bin"
port=$(free_port)
write_settings "$work/data/orvo.ini" "$port"

export TMPDIR="$work/tmp" ORVO_DATA_DIR="$work/data" ORVO_BUILD_DIR="$work/build" ORVO_SKIP_BUILD=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:new_delete_type_mismatch=0}
devices="$work/build/demo-devices"

# Another program's page on the daemon's port.
python3 -m http.server --bind 127.0.0.1 "$port" --directory "$work/tmp" >/dev/null 2>&1 &
other_pid=$!
for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
timeout 120 bash "$top/scripts/run.sh" --demo daemon >"$work/out" 2>&1
code=$?
kill "$other_pid"
wait "$other_pid" 2>/dev/null
[ "$code" -ne 0 ] || fail "with the port taken the script exited 0"
[ "$code" -ne 124 ] || fail "with the port taken the script did not end"
if grep -q "answers on" "$work/out"; then
    fail "the other program's page was announced as the demo's"
fi

bash "$top/scripts/run.sh" --demo daemon >"$work/out" 2>&1 &
script_pid=$!
for _ in $(seq 1 240); do
    kill -0 "$script_pid" 2>/dev/null || fail "the script ended early"
    grep -q "answers on http://127.0.0.1:$port/" "$work/out" && break
    sleep 0.5
done
grep -q "answers on http://127.0.0.1:$port/" "$work/out" || fail "the demo's page did not answer"

# What the user did on the running demo: another device plugged.
echo kavel35 >"$devices/plugged"
timeout 60 bash "$top/scripts/run.sh" --demo daemon >"$work/second" 2>&1
code=$?
[ "$code" -eq 0 ] || fail "a second start exited $code: $(cat "$work/second")"
[ "$(head -n 1 "$devices/plugged")" = kavel35 ] || fail "a second start rewrote the running demo's devices"

kill -TERM "$script_pid"
code=0
wait "$script_pid" || code=$?
script_pid=
[ "$code" -eq 0 ] || fail "the script exited $code after SIGTERM"
echo "ok: a taken port was not announced, a second start left the running demo's devices"
