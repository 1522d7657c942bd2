# What the script tests share, sourced after they set $version: a work folder removed on exit
# with the script under test stopped first, failing with the script's output, free ports and
# settings files that keep their port.

work=$(mktemp -d)
script_pid=
cleanup() {
    if [ -n "$script_pid" ] && kill -0 "$script_pid" 2>/dev/null; then
        kill -TERM "$script_pid"
        wait "$script_pid"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- the script's output"
    cat "$work/out"
    exit 1
}

# A port nothing holds now, outside the range the kernel gives outgoing connections.
support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
free_port() {
    /usr/bin/python3 "$support/free_port.py"
}

# Settings of the program's own version keep their port: the shipped file replaces no other.
#   write_settings <file> <port>
write_settings() {
    printf '[TarvexOrvo]\nversion=%s\ndebug=0\nlisten_port=%s\n' "$version" "$2" >"$1"
}
