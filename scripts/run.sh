#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts one of them.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bash scripts/run.sh [--demo] [tray|daemon]
       bash scripts/run.sh --help

tray (the default) starts the tray program. Without a display it runs in a virtual X server
with a system tray of its own, so that only its web application is seen. daemon starts the
windowless daemon, which serves the attached devices and its own web application. The script
prints the web application's address, with the token that opens it, once it answers; Ctrl-C
(or SIGINT or SIGTERM to the script) ends the programs in order and exits 0.

--demo serves emulated devices instead of this computer's: orvo-demo-devices writes a Kavel50
and a Kavel21 drive and a Kavel40 and a Kavel35 flash device to <build>/demo-devices, and the
daemon serves them (ORVO_PLATFORM=emulator:<folder>) with its data folder <build>/demo-data;
with the tray program, that daemon runs beside it. The first line of
<build>/demo-devices/plugged names the device plugged: KAVEL50, KAVEL21, kavel40 or kavel35.

Environment:
  ORVO_BUILD_DIR   the build folder (build/release)
  ORVO_JOBS        parallel build jobs (the number of processors)
  ORVO_SKIP_BUILD  1: install and build nothing, start the programs the build folder holds
  ORVO_DATA_DIR    the programs' data folder (demo: <build>/demo-data)
  ORVO_PLATFORM    emulator:<folder> serves the emulated devices of that folder
Relative folders are taken from the folder the script was started in.
USAGE
}

# Started in the background of another script, the shell ignores SIGINT from the start and
# cannot trap it; start again with its default action, so that SIGINT stops the programs.
if [ -n "$(trap -p INT)" ] && [ -z "${ORVO_RUN_SIGNALS_RESET:-}" ]; then
    ORVO_RUN_SIGNALS_RESET=1 exec env --default-signal=INT bash "$0" "$@"
fi
unset ORVO_RUN_SIGNALS_RESET

# The seconds the web application may take to answer after its program started.
readonly kPageWaitSeconds=${ORVO_PAGE_WAIT:-90}
# The seconds a program may take to shut down after SIGTERM.
readonly kStopWaitSeconds=30

start_dir=$PWD
top=$(cd "$(dirname "$0")/.." && pwd)

demo=0
program_name=tray
for argument in "$@"; do
    case "$argument" in
    -h | --help)
        usage
        exit 0
        ;;
    --demo) demo=1 ;;
    tray | daemon) program_name=$argument ;;
    *)
        usage >&2
        exit 2
        ;;
    esac
done

# A folder named relative to where the user started the script, made absolute before the
# script changes folder.
absolute_from_start() {
    case "$1" in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$start_dir/$1" ;;
    esac
}

if [ -n "${ORVO_DATA_DIR:-}" ]; then
    ORVO_DATA_DIR=$(absolute_from_start "$ORVO_DATA_DIR")
    export ORVO_DATA_DIR
fi
# An empty emulator folder stays empty: the programs refuse it themselves.
case "${ORVO_PLATFORM:-}" in
emulator:?*) export ORVO_PLATFORM="emulator:$(absolute_from_start "${ORVO_PLATFORM#emulator:}")" ;;
esac
build=$(absolute_from_start "${ORVO_BUILD_DIR:-$top/build/release}")
jobs=${ORVO_JOBS:-$(nproc)}

cd "$top"

if [ "${ORVO_SKIP_BUILD:-0}" != 1 ]; then
    bash scripts/install-deps.sh
    cmake -S . -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DORVO_BUILD_TESTS=OFF \
        -DPython_EXECUTABLE=/usr/bin/python3 \
        -DPython3_EXECUTABLE=/usr/bin/python3 \
        -DPYTHON_EXECUTABLE=/usr/bin/python3
    # Everything that cmake --install installs, so that the run build can be installed.
    targets=(orvo-daemon orvo-tray orvo_udev_rules)
    if [ "$demo" -eq 1 ]; then
        targets+=(orvo-demo-devices)
    fi
    cmake --build "$build" -j "$jobs" --target "${targets[@]}"
fi

program="$build/bin/orvo-$program_name"
if [ ! -x "$program" ]; then
    echo "run.sh: $program is missing: build it first (or leave ORVO_SKIP_BUILD unset)" >&2
    exit 1
fi

# The processes the script started, in the order they end: the program the user sees, the
# daemon beside it, the system tray, the virtual display.
program_pid=
daemon_pid=
trayer_pid=
xvfb_pid=
x11_dir=

# True while the process runs: a child that ended stays a zombie until waited for.
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state#Z}" = "$state" ]
}

# Ends one process: TERM, then waits until it is gone; KILL once it took too long.
stop_process() {
    local pid=$1 deadline=$((SECONDS + kStopWaitSeconds))
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    while running "$pid" && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.2
    done
    if running "$pid"; then
        echo "run.sh: process $pid did not end within ${kStopWaitSeconds} s after SIGTERM; killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

stop_all() {
    # A second Ctrl-C does not cut the shutdown short.
    trap '' INT TERM HUP
    trap - EXIT
    stop_process "$program_pid"
    stop_process "$daemon_pid"
    stop_process "$trayer_pid"
    stop_process "$xvfb_pid"
    if [ -n "$x11_dir" ]; then
        rm -rf "$x11_dir"
    fi
}

on_signal() {
    echo "Stopping" >&2
    stop_all
    exit 0
}
trap on_signal INT TERM HUP
trap stop_all EXIT

# Each program runs in a session of its own, so that Ctrl-C reaches the script alone, which
# then ends them in order (the virtual display last, so that no program loses it mid-shutdown).
start_detached() {
    setsid "$@" </dev/null &
}

settings_port() {
    local file=$1 default=$2 port
    port=$(sed -n 's/^listen_port=\([0-9]*\).*/\1/p' "$data/$file" 2>/dev/null | head -n 1 || true)
    printf '%s\n' "${port:-$default}"
}

# The token the program wrote to its data folder at start; the web application answers only
# requests that carry it, so a page that answers with it is this program's own.
settings_token() {
    head -c 64 "$data/$1" 2>/dev/null || true
}

# True when the web application answers an HTTP request with the token on the port.
page_answers() {
    timeout 5 bash -c '
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
        printf "GET / HTTP/1.0\r\nHost: 127.0.0.1:%s\r\nAuthorization: Token %s\r\n\r\n" "$1" "$2" >&3
        IFS= read -r status <&3 && [[ "$status" == HTTP/1.?" "[23]* ]]
    ' page_answers "$1" "$2" 2>/dev/null
}

# True when the process holds a listening TCP socket on the port. Another program that took
# the port answers there too, and its page is not ours to announce.
listens_on() {
    local pid=$1 port inode
    port=$(printf ':%04X' "$2")
    for inode in $(awk -v port="$port" '$4 == "0A" && substr($2, length($2) - 4) == port { print $10 }' \
        /proc/net/tcp /proc/net/tcp6 2>/dev/null); do
        if find "/proc/$pid/fd" -lname "socket:\[$inode\]" 2>/dev/null | grep -q .; then
            return 0
        fi
    done
    return 1
}

# True while an instance of the program (orvo-tray or orvo-daemon) runs for this user on the
# data folder: its single-instance lock, keyed by the program, the user and a hash of the
# folder's real path, names the process that holds it. The lock lies in the user's runtime
# folder (one of 64 characters at most), else in a folder of the user's own under /tmp.
instance_running() {
    local name=$1 hash key runtime=${XDG_RUNTIME_DIR:-} lock pid
    hash=$(printf '%s' "$(realpath -m "$2")" | sha256sum | cut -c1-16)
    key=${ORVO_INSTANCE_KEY:-$name-$(id -u)-$hash}
    if [[ $runtime != /* || ${#runtime} -gt 64 || ! -d $runtime ]]; then
        runtime=/tmp/orvo-$(id -u)
    fi
    lock="$runtime/orvo-$(printf '%s' "$key" | sha256sum | cut -c1-16).lock"
    pid=$(head -n 1 "$lock" 2>/dev/null) || return 1
    [[ $pid =~ ^[0-9]+$ ]] && running "$pid" && [ "$(ps -o comm= -p "$pid")" = "$name" ]
}

# Prints the address, with the token that opens it, once the page answers. The program's own
# exit ends the script with its code (a second start exits 0 after saying an instance runs).
announce_when_answering() {
    local file=$1 default=$2 token_file=$3 deadline=$((SECONDS + kPageWaitSeconds)) port token
    while [ "$SECONDS" -lt "$deadline" ]; do
        if ! running "$program_pid"; then
            local code=0
            wait "$program_pid" || code=$?
            program_pid=
            exit "$code"
        fi
        port=$(settings_port "$file" "$default")
        token=$(settings_token "$token_file")
        if [ -n "$token" ] && listens_on "$program_pid" "$port" && page_answers "$port" "$token"; then
            echo "The web application answers on http://127.0.0.1:$port/?token=$token (Ctrl-C ends it)"
            return 0
        fi
        sleep 0.5
    done
    echo "run.sh: no web application answered on http://127.0.0.1:$port/ within ${kPageWaitSeconds} s;" \
        "see the log in $data" >&2
    exit 1
}

# A virtual X server of its own with a system tray, for the tray program without a display.
# The server picks a free display number itself and writes it to descriptor 3; its cookie is
# one for every display, since the number is known only once the server runs.
start_virtual_display() {
    x11_dir=$(mktemp -d "$build/x11.XXXXXX")
    export XAUTHORITY="$x11_dir/Xauthority"
    local magic
    : >"$XAUTHORITY"
    magic=$(printf 'MIT-MAGIC-COOKIE-1' | od -An -tx1 | tr -d ' \n')
    echo "ffff 0000  0000  0012 $magic 0010 $(mcookie)" | xauth -q -f "$XAUTHORITY" nmerge -
    start_detached Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -auth "$XAUTHORITY" \
        3>"$x11_dir/display"
    xvfb_pid=$!
    local deadline=$((SECONDS + 20)) number=
    until number=$(sed -n 's/^\([0-9][0-9]*\)$/\1/p' "$x11_dir/display") && [ -n "$number" ]; do
        if ! running "$xvfb_pid" || [ "$SECONDS" -ge "$deadline" ]; then
            echo "run.sh: the virtual X server did not start" >&2
            exit 1
        fi
        sleep 0.2
    done
    export DISPLAY=":$number"
    start_detached trayer
    trayer_pid=$!
}

if [ "$demo" -eq 1 ]; then
    devices="$build/demo-devices"
    # A running demo's devices hold what the user did on them: a second start leaves them be
    # (its programs then hand over to the running ones).
    export ORVO_DATA_DIR=${ORVO_DATA_DIR:-$build/demo-data}
    if instance_running orvo-daemon "$ORVO_DATA_DIR" || instance_running "orvo-$program_name" "$ORVO_DATA_DIR"; then
        echo "A demo runs already; its devices in $devices stay as they are"
    else
        "$build/bin/orvo-demo-devices" "$devices"
    fi
    export ORVO_PLATFORM="emulator:$devices"
    echo "Emulated devices of $devices; switch with: echo kavel35 > $devices/plugged"
fi
data=${ORVO_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/TarvexOrvo}
mkdir -p "$data"

if [ "$program_name" = daemon ]; then
    # Without a display the daemon takes Qt's offscreen platform by itself.
    start_detached "$program"
    program_pid=$!
    announce_when_answering orvo.ini 18888 orvo.token
else
    # The web window's browser engine refuses to run as root inside its sandbox.
    if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_CHROMIUM_FLAGS:-}" ]; then
        export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"
    fi
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:-} --disable-gpu"
        start_virtual_display
    fi
    if [ "$demo" -eq 1 ]; then
        start_detached "$build/bin/orvo-daemon"
        daemon_pid=$!
    fi
    start_detached "$program"
    program_pid=$!
    announce_when_answering orvouser.ini 18889 orvouser.token
fi

# The program ended by itself: the rest ends after it, with its exit code.
code=0
wait "$program_pid" || code=$?
program_pid=
exit "$code"
