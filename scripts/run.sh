#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts one of them.
#
#   bash scripts/run.sh [--demo] [tray|daemon]
#
# tray (the default) starts the tray program. Without a display it runs in a virtual X server
# with a system tray of its own, so that only its web application is seen, on
# http://127.0.0.1:<listen_port>/. daemon starts the windowless daemon, which serves the
# attached devices and its own web application (port 18888 unless listen_port says otherwise).
# --demo serves emulated devices instead of this computer's: the script writes a demo folder
# under the build folder and hands it to the daemon through ORVO_PLATFORM; with the tray
# program, that daemon runs beside it (the tray program serves no devices itself) and ends
# with it. Ctrl-C ends it.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

demo=0
program_name=tray
for argument in "$@"; do
    case "$argument" in
    --demo) demo=1 ;;
    tray | daemon) program_name=$argument ;;
    *)
        echo "usage: $0 [--demo] [tray|daemon]" >&2
        exit 2
        ;;
    esac
done

bash scripts/install-deps.sh

build=${ORVO_BUILD_DIR:-$top/build/release}
jobs=${ORVO_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVO_BUILD_TESTS=OFF \
    -DPython_EXECUTABLE=/usr/bin/python3 \
    -DPython3_EXECUTABLE=/usr/bin/python3 \
    -DPYTHON_EXECUTABLE=/usr/bin/python3
targets=("orvo-$program_name")
if [ "$demo" -eq 1 ]; then
    targets=(orvo-daemon "orvo-$program_name")
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# A drive of a file-system model and a flash device of a flash model, in the folder format the
# programs read (see the README).
write_demo_folder() {
    local folder=$1
    rm -rf "$folder"
    mkdir -p "$folder/KAVEL50"
    printf '[MODEL]\r\nModel=Kavel50\r\n\r\n[UUID]\r\nUUID=0901D3E40000C0DE\r\n' >"$folder/KAVEL50/device.ini"
    echo "TarvexKavel50" >"$folder/KAVEL50.vendor"
    # The Kavel40's erased flash and language area, reached by its vendor areas.
    cat >"$folder/kosmir.scsi" <<'JSON'
{
    "vendor": "TARVEX", "product": "KOSMIR", "version": "0207", "revision": "1.00",
    "deviceId": "1105D3E40000C0DE",
    "memories": [{"name": "flash", "size": 2097152, "eraseBeforeWrite": true},
                 {"name": "language", "size": 1017856}],
    "areas": [{"code": 16, "access": "read", "memory": "flash", "transferSize": 4096},
              {"code": 15, "access": "write", "memory": "flash", "transferSize": 4096},
              {"code": 14, "access": "eraseAll", "memory": "flash", "transferSize": 512},
              {"code": 21, "access": "readyPoll", "memory": "flash", "transferSize": 4096, "busyPolls": 2},
              {"code": 13, "access": "read", "memory": "language", "transferSize": 2048},
              {"code": 12, "access": "write", "memory": "language", "transferSize": 2048},
              {"code": 3, "access": "deviceId", "transferSize": 2048}]
}
JSON
}

if [ "$demo" -eq 1 ]; then
    devices="$build/demo-devices"
    write_demo_folder "$devices"
    export ORVO_PLATFORM="emulator:$devices"
    echo "Emulated devices of $devices"
    if [ "$program_name" = tray ]; then
        "$build/bin/orvo-daemon" &
        daemon_pid=$!
        trap 'kill "$daemon_pid" 2>/dev/null || true' EXIT
    fi
fi

program="$build/bin/orvo-$program_name"
data=${ORVO_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/TarvexOrvo}

listen_port() {
    sed -n 's/^listen_port=\([0-9]*\).*/\1/p' "$data/$1" 2>/dev/null | head -n 1 || true
}

if [ "$program_name" = daemon ]; then
    # Without a display the daemon takes Qt's offscreen platform by itself.
    port=$(listen_port orvo.ini)
    echo "The daemon's web application answers on http://127.0.0.1:${port:-18888}/ (Ctrl-C ends it)"
    exec "$program"
fi

# The web window's browser engine refuses to run as root inside its sandbox.
if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_CHROMIUM_FLAGS:-}" ]; then
    export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"
fi

# With a daemon beside it the script stays, so that the daemon ends with the tray program.
run_tray() {
    if [ "$demo" -eq 1 ]; then
        "$@"
    else
        exec "$@"
    fi
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    run_tray "$program"
    exit
fi

port=$(listen_port orvouser.ini)
echo "No display: the web application answers on http://127.0.0.1:${port:-18889}/ (Ctrl-C ends it)"
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:-} --disable-gpu"
run_tray xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c 'trayer & exec "$0"' "$program"
