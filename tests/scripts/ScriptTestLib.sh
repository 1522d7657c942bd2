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

# A port nothing answers on now.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
}

# Settings of the program's own version keep their port: the shipped file replaces no other.
#   write_settings <file> <port>
write_settings() {
    printf '[TarvexOrvo]\nversion=%s\ndebug=0\nlisten_port=%s\n' "$version" "$2" >"$1"
}
