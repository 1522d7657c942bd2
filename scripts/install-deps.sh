#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev libqt6sql6-sqlite qt6-webengine-dev qt6-qpa-plugins
    python3 python3-dev pybind11-dev python3-gevent python3-greenlet python3-lxml
    libminizip-dev zlib1g-dev libudev-dev
    libgtest-dev libgmock-dev xvfb xauth trayer fonts-dejavu-core fonts-wqy-microhei
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

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
