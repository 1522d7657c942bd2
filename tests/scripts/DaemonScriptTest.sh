#!/usr/bin/env bash
# run.sh daemon over this build's programs, started from a folder of its own with a relative
# emulator folder: the daemon serves that folder's device, a second start ends at once with
# exit 0, and SIGTERM to the script ends the daemon and exits 0.
#
#   DaemonScriptTest.sh <source folder> <build folder> <program version>
set -uo pipefail

top=$1
build=$2
version=$3

source "$(dirname "$0")/ScriptTestLib.sh"

# The page, asked for with the token of the address the script printed.
page() {
    local token
    token=$(sed -n 's/.*answers on http:[^ ]*?token=\([0-9a-f]*\).*/\1/p' "$work/out" | head -n 1)
    timeout 5 bash -c '
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
        printf "GET / HTTP/1.0\r\nHost: 127.0.0.1:%s\r\nCookie: orvo_token_%s=%s\r\n\r\n" "$1" "$1" "$2" >&3
        cat <&3
    ' page "$1" "$token" 2>/dev/null
}

mkdir -p "$work/data" "$work/tmp" "$work/start"
port=$(free_port)
write_settings "$work/data/orvo.ini" "$port"
"$build/bin/orvo-demo-devices" "$work/start/devices" || fail "orvo-demo-devices failed"
echo kavel35 >"$work/start/devices/plugged"

export TMPDIR="$work/tmp" ORVO_DATA_DIR="$work/data" ORVO_BUILD_DIR="$build" ORVO_SKIP_BUILD=1
export ORVO_PLATFORM=emulator:devices
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:new_delete_type_mismatch=0}
cd "$work/start" || exit 1

bash "$top/scripts/run.sh" daemon >"$work/out" 2>&1 &
script_pid=$!
served=
for _ in $(seq 1 240); do
    kill -0 "$script_pid" 2>/dev/null || fail "the script ended early"
    if grep -q "answers on http://127.0.0.1:$port/?token=" "$work/out" && grep -q "Kavel35" <<<"$(page "$port")"; then
        served=1
        break
    fi
    sleep 0.5
done
[ -n "$served" ] || fail "the page never showed the Kavel35 of the relative folder"
daemon_pid=$(pgrep -P "$script_pid" -x orvo-daemon)
[ -n "$daemon_pid" ] || fail "no daemon below the script"

timeout 60 bash "$top/scripts/run.sh" daemon >"$work/second" 2>&1
code=$?
[ "$code" -eq 0 ] || fail "a second start exited $code: $(cat "$work/second")"

kill -TERM "$script_pid"
code=0
wait "$script_pid" || code=$?
script_pid=
[ "$code" -eq 0 ] || fail "the script exited $code after SIGTERM"
if kill -0 "$daemon_pid" 2>/dev/null; then
    fail "the daemon $daemon_pid is still running"
fi
echo "ok: the relative folder was served, a second start and SIGTERM ended with 0"
