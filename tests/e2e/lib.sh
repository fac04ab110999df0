# Helpers for end-to-end runs of the real program under Xvfb, driven with xdotool
# as a user would: wait for a window or a message, press keys, click.
set -euo pipefail

program=${1:?path of the tivarel binary}
shift
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

start_program() {
    "$program" "$@" 2>"$work/stderr" &
    pid=$!
}

# Waits until standard error holds `count` lines (a message box is up for each).
wait_for_messages() {
    local count=$1
    for _ in $(seq 100); do
        [ "$(wc -l <"$work/stderr")" -ge "$count" ] && sleep 0.3 && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "expected $count message lines, got:"; cat "$work/stderr"; return 1
}

# Waits for the program to end and checks its exit status.
expect_exit() {
    local want=$1 status=0
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    wait "$pid" || status=$?
    if [ "$status" -ne "$want" ]; then echo "exit status $status, expected $want"; return 1; fi
}

# Standard error must hold exactly these lines (none when called without arguments).
expect_stderr() {
    local want="$work/want"
    : >"$want"
    [ $# -eq 0 ] || printf '%s\n' "$@" >"$want"
    if ! diff "$want" "$work/stderr"; then echo "standard error differs"; return 1; fi
}
