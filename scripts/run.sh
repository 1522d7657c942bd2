#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts the tray program. Without a display
# the tray program runs in a virtual X server with a system tray of its own, so that only its
# web application is seen, on http://127.0.0.1:<listen_port>/. Ctrl-C ends it.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/install-deps.sh

build=${ORVO_BUILD_DIR:-$top/build/release}
jobs=${ORVO_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVO_BUILD_TESTS=OFF \
    -DPython_EXECUTABLE=/usr/bin/python3 \
    -DPython3_EXECUTABLE=/usr/bin/python3 \
    -DPYTHON_EXECUTABLE=/usr/bin/python3
cmake --build "$build" -j "$jobs" --target orvo-tray

# The web window's browser engine refuses to run as root inside its sandbox.
if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_CHROMIUM_FLAGS:-}" ]; then
    export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"
fi

program="$build/bin/orvo-tray"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

data=${ORVO_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/TarvexOrvo}
port=$(sed -n 's/^listen_port=\([0-9]*\).*/\1/p' "$data/orvouser.ini" 2>/dev/null | head -n 1 || true)
echo "No display: the web application answers on http://127.0.0.1:${port:-18889}/ (Ctrl-C ends it)"
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:-} --disable-gpu"
exec xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c 'trayer & exec "$0"' "$program"
