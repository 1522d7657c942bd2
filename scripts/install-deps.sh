#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev libqt6sql6-sqlite qt6-webengine-dev qt6-qpa-plugins
    python3 python3-dev pybind11-dev python3-gevent python3-greenlet python3-lxml
    libminizip-dev zlib1g-dev libudev-dev libsqlite3-dev
    libgtest-dev libgmock-dev xvfb xauth trayer fonts-dejavu-core fonts-wqy-microhei
    desktop-file-utils
    libxml2-utils sqlite3 gpsbabel unzip curl chromium
    clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

# Another package manager at work (an unattended upgrade, a second build) holds dpkg's lock:
# apt waits for it, saying by whom it is held, up to ten minutes, instead of failing at once.
apt_get=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# apt's own progress stays on the terminal: a first install takes minutes.
"${apt_get[@]}" update
"${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
