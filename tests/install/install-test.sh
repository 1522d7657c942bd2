#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks one side of the installation:
#
#   install-test.sh <build folder> <program version> layout|desktop-entry|user-unit|daemon|unbuilt
#
# layout: the files lie where the README says, the programs find their library in the prefix
# and not in the build. desktop-entry: desktop-file-validate accepts the entry. user-unit:
# systemd-analyze verify accepts the unit (skipped, exit 77, without systemd-analyze). daemon:
# the installed daemon, on a small folder of emulated devices, serves its page, which shows the
# emulated drive, and ends on SIGTERM. unbuilt: an install from a configured build that built
# nothing fails and copies nothing.
set -euo pipefail

build=$1
version=$2
check=$3

work=$(mktemp -d)
daemon_pid=
cleanup() {
    if [ -n "$daemon_pid" ]; then
        kill "$daemon_pid" 2>/dev/null || true
        wait "$daemon_pid" 2>/dev/null || true
    fi
    if [ -n "${ORVO_KEEP_TEST_OUTPUT:-}" ]; then
        echo "output kept in $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$work/prefix
if [ "$check" != unbuilt ]; then
    cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
        cat "$work/install.log" >&2
        fail "cmake --install failed"
    }
fi

check_layout() {
    local expected=(
        bin/orvo-daemon bin/orvo-tray
        lib/tarvex-orvo/libLumoLib.so
        share/tarvex-orvo/main.py share/tarvex-orvo/orvoweb/device.py
        share/tarvex-orvo/orvo.ini share/tarvex-orvo/orvouser.ini
        share/applications/tarvex-orvo.desktop
        share/icons/hicolor/16x16/apps/tarvex-orvo.png share/icons/hicolor/32x32/apps/tarvex-orvo.png
        lib/systemd/user/orvo-daemon.service
        lib/udev/rules.d/70-tarvex-orvo.rules
    )
    for file in "${expected[@]}"; do
        [ -f "$prefix/$file" ] || fail "$file is not installed"
    done
    for program in orvo-daemon orvo-tray; do
        [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
        local runpath libraries
        runpath=$(readelf -d "$prefix/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
        [ "$runpath" = '$ORIGIN/../lib/tarvex-orvo' ] || fail "bin/$program has run path '$runpath'"
        # Read whole first: grep -q stops at its match, and ldd's broken pipe would fail the test.
        libraries=$(ldd "$prefix/bin/$program")
        grep -q "libLumoLib.so => $prefix/bin/../lib/tarvex-orvo/" <<<"$libraries" ||
            fail "bin/$program does not find its library in the prefix"
    done
    # Nothing the build leaves beside the programs (test programs, the rules generator, the
    # build tree's resource copy) is installed.
    local extra
    extra=$(find "$prefix/bin" -mindepth 1 ! -name orvo-daemon ! -name orvo-tray)
    [ -z "$extra" ] || fail "unexpected in bin: $extra"
    if [ -n "$(find "$prefix" -name __pycache__)" ]; then
        fail "compiled Python is installed"
    fi
    cmp -s "$prefix/lib/udev/rules.d/70-tarvex-orvo.rules" "$build/src/udevrules/70-tarvex-orvo.rules" ||
        fail "the installed udev rules are not the generated ones"
    grep -qx "ExecStart=\"$prefix/bin/orvo-daemon\"" "$prefix/lib/systemd/user/orvo-daemon.service" ||
        fail "the unit does not start the installed daemon"
    grep -qx "Exec=\"$prefix/bin/orvo-tray\"" "$prefix/share/applications/tarvex-orvo.desktop" ||
        fail "the desktop entry does not start the installed tray program"
}

check_desktop_entry() {
    command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/install-deps.sh)"
    local output
    output=$(desktop-file-validate "$prefix/share/applications/tarvex-orvo.desktop" 2>&1) ||
        fail "desktop-file-validate: $output"
    [ -z "$output" ] || fail "desktop-file-validate: $output"
}

check_user_unit() {
    if ! command -v systemd-analyze >/dev/null; then
        echo "skipped: no systemd-analyze on this computer"
        exit 77
    fi
    local unit=$prefix/lib/systemd/user/orvo-daemon.service output
    output=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $output"
    [ -z "$output" ] || fail "systemd-analyze verify: $output"
    grep -qx "Restart=always" "$unit" || fail "the unit is not started again after a signal ends it"
    # The user manager's view of the unit's hardening, read from the file alone; older systemd
    # versions cannot judge a file that no manager loaded.
    if ! systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
        echo "no offline systemd-analyze security on this computer: hardening not judged"
        return 0
    fi
    local runtime=$work/runtime
    mkdir -m 0700 "$runtime"
    output=$(XDG_RUNTIME_DIR=$runtime systemd-analyze security --user --offline=true --no-pager "$unit" 2>&1) ||
        fail "systemd-analyze security: $output"
    local setting
    for setting in UMask NoNewPrivileges RestrictAddressFamilies=~AF_PACKET LockPersonality RestrictRealtime \
        RestrictSUIDSGID RestrictNamespaces=~user SystemCallArchitectures; do
        grep -q "✓ $setting" <<<"$output" || fail "the unit does not set $setting: $output"
    done
    grep "Overall exposure level" <<<"$output"
}

support=$(cd "$(dirname "$0")/../support" && pwd)
free_port() {
    /usr/bin/python3 "$support/free_port.py"
}

check_daemon() {
    local data=$work/data devices=$work/devices port
    mkdir -p "$data" "$devices/KAVEL50"
    port=$(free_port)
    # The version stamp keeps the shipped settings file from replacing this one.
    printf '[TarvexOrvo]\nversion=%s\ndebug=0\nlisten_port=%s\n' "$version" "$port" >"$data/orvo.ini"
    printf '[MODEL]\r\nModel=Kavel50\r\n\r\n[UUID]\r\nUUID=0901D3E40000C0DE\r\n' >"$devices/KAVEL50/device.ini"
    echo "TarvexKavel50" >"$devices/KAVEL50.vendor"

    (
        cd "$work"
        unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM ORVO_RESOURCE_DIR
        export ORVO_DATA_DIR=$data ORVO_PLATFORM=emulator:$devices
        export ORVO_INSTANCE_KEY="orvo-daemon-install-test-$$"
        export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
        exec "$prefix/bin/orvo-daemon"
    ) &
    daemon_pid=$!

    local page= deadline=$((SECONDS + 60))
    while [ $SECONDS -lt $deadline ] && kill -0 "$daemon_pid" 2>/dev/null; do
        # Every request carries the token the daemon wrote to its data folder.
        page=$(curl -s --max-time 5 -H "Authorization: Token $(head -c 64 "$data/orvo.token" 2>/dev/null)" \
            "http://127.0.0.1:$port/" || true)
        case "$page" in *Kavel50*) break ;; esac
        sleep 0.2
    done
    case "$page" in
    *"<title>Tarvex Orvo"*Kavel50*) ;;
    *)
        cat "$data/orvo.log" >&2 2>/dev/null || true
        fail "the installed daemon did not serve its page with the emulated drive on port $port: $page"
        ;;
    esac

    kill -TERM "$daemon_pid"
    local code=0
    wait "$daemon_pid" || code=$?
    daemon_pid=
    [ "$code" -eq 0 ] || fail "the daemon ended with $code on SIGTERM"
}

# An install from a build that made only some of what is installed (the run script builds the
# programs it starts) fails before it copies anything, and says what to build.
check_unbuilt() {
    local source unbuilt=$work/unbuilt output
    source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
    cmake -S "$source" -B "$unbuilt" -G Ninja -DORVO_BUILD_TESTS=OFF -DPython_EXECUTABLE=/usr/bin/python3 \
        -DPython3_EXECUTABLE=/usr/bin/python3 -DPYTHON_EXECUTABLE=/usr/bin/python3 >"$work/configure.log" 2>&1 || {
        cat "$work/configure.log" >&2
        fail "the unbuilt folder did not configure"
    }
    if output=$(cmake --install "$unbuilt" --prefix "$prefix" 2>&1); then
        fail "an install of nothing built succeeded: $output"
    fi
    # CMake wraps its messages.
    grep -q "cmake --build $unbuilt" <<<"$(tr -s ' \n' '  ' <<<"$output")" || fail "the failed install does not say what to build: $output"
    if [ -e "$prefix" ] && [ -n "$(find "$prefix" -type f)" ]; then
        fail "the failed install copied: $(find "$prefix" -type f | head -n 5)"
    fi
}

case "$check" in
unbuilt) check_unbuilt ;;
layout) check_layout ;;
desktop-entry) check_desktop_entry ;;
user-unit) check_user_unit ;;
daemon) check_daemon ;;
*) fail "unknown check $check" ;;
esac
echo "ok: $check"
