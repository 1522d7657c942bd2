#!/usr/bin/env bash
# The no-display demo over this build's programs: once its page answers, a SIGINT to the script
# alone ends the tray program, the daemon, the system tray and the virtual display; the script
# exits 0 and leaves no process and no temporary X folder behind.
#
#   DemoStopTest.sh <source folder> <build folder> <program version>
set -uo pipefail

top=$1
build=$2
version=$3

for tool in Xvfb trayer xauth; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (bash scripts/install-deps.sh installs it)"
        exit 77
    fi
done

source "$(dirname "$0")/ScriptTestLib.sh"

data="$work/data"
mkdir -p "$data" "$work/tmp"
daemon_port=$(free_port)
tray_port=$(free_port)
write_settings "$data/orvo.ini" "$daemon_port"
write_settings "$data/orvouser.ini" "$tray_port"

# The programs' single-instance locks live in the temporary folder: one of our own keeps this
# run apart from any other demo on the machine.
export TMPDIR="$work/tmp"
export ORVO_DATA_DIR="$data" ORVO_BUILD_DIR="$build" ORVO_SKIP_BUILD=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:new_delete_type_mismatch=0}
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox --disable-gpu}
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY

# xvfb-run makes its folder in $TMPDIR, the script its own in the build folder; other tests'
# virtual displays in /tmp are none of this run's.
x_folders() {
    ls -d "$TMPDIR"/xvfb-run.* "$build"/x11.* 2>/dev/null | sort
}
x_before=$(x_folders)

bash "$top/scripts/run.sh" --demo >"$work/out" 2>&1 &
script_pid=$!

for _ in $(seq 1 240); do
    grep -q "answers on http://127.0.0.1:$tray_port/?token=" "$work/out" && break
    kill -0 "$script_pid" 2>/dev/null || fail "the script ended before its page answered"
    sleep 0.5
done
grep -q "answers on http://127.0.0.1:$tray_port/?token=" "$work/out" || fail "the page did not answer"

# Every process below the script: the programs, the browser engine's helpers, the X server.
descendants() {
    local child
    for child in $(pgrep -P "$1"); do
        echo "$child"
        descendants "$child"
    done
}
started=$(descendants "$script_pid")
for name in Xvfb trayer orvo-daemon orvo-tray; do
    found=0
    for pid in $started; do
        [ "$(ps -o comm= -p "$pid")" = "$name" ] && found=1
    done
    [ "$found" -eq 1 ] || fail "$name did not run below the script"
done

kill -INT "$script_pid"
code=0
wait "$script_pid" || code=$?
script_pid=
[ "$code" -eq 0 ] || fail "the script exited $code after SIGINT"

left=
for pid in $started; do
    state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
    if [ -n "$state" ] && [ "${state#Z}" = "$state" ]; then
        left="$left $pid:$(ps -o comm= -p "$pid")"
    fi
done
[ -z "$left" ] || fail "processes left:$left"
[ "$(x_folders)" = "$x_before" ] || fail "X folders left: $(comm -13 <(echo "$x_before") <(x_folders))"
# The programs shut down themselves: the X server was still there for the tray program.
if grep -q "XIO\|could not connect to display\|X Error" "$work/out"; then
    fail "the tray program lost its display"
fi
echo "ok: the demo stopped in order and left nothing"
