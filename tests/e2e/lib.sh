# End-to-end runs of the real program under Xvfb, driven with xdotool as a user would;
# everything a run needs, its runtime folder too, lies in its own $work.
set -euo pipefail

program=${1:?path of the tivarel binary}
shift
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
fail() { echo "$*"; exit 1; }

start_program() { "$program" "$@" 2>"$work/stderr" & pid=$!; }

# Runs a command every 20 ms until it succeeds, for at most 10 s.
wait_until() {
    for _ in $(seq 500); do "$@" && return 0; sleep 0.02; done
    fail "gave up waiting until $*; standard error: $(cat "$work/stderr")"
}
window_up() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Some window holds the keyboard: the display started with it following the pointer (1).
keyboard_taken() { [ "$(xdotool getwindowfocus -f 2>/dev/null)" -gt 1 ] 2>/dev/null; }

# The program's exit status and standard error (exactly these lines, or none).
expect_exit() {
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}
expect_stderr() {
    if [ $# -eq 0 ]; then : >"$work/want"; else printf '%s\n' "$@" >"$work/want"; fi
    diff "$work/want" "$work/stderr" || fail "standard error differs"
}

# Clicks the middle of the window named $1, waits until the program has taken the keyboard
# and presses $2.
click_and_press() {
    eval "$(xdotool search --onlyvisible --name "^$1\$" getwindowgeometry --shell)"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    wait_until keyboard_taken
    xdotool key "$2"
}
