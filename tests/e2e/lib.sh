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

# Runs a command every 20 ms until it succeeds, for at most 10 s.
wait_until() {
    for _ in $(seq 500); do "$@" && return 0; sleep 0.02; done
    fail "gave up waiting until $*; standard error: $(cat "$work/stderr")"
}
window_up() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Some window holds the keyboard: the display started with it following the pointer (1).
keyboard_taken() { [ "$(xdotool getwindowfocus -f 2>/dev/null)" -gt 1 ] 2>/dev/null; }

# Starts the program on the map $1 and waits for its window.
open_map() {
    "$program" "$1" 2>"$work/stderr" &
    pid=$! title="Visualized file: $1"
    wait_until window_up "$title"
}

# Clicks the middle of the window, waits until the program has taken the keyboard and presses
# q: the program ends with status 0 and nothing on standard error.
quit_cleanly() {
    eval "$(xdotool search --onlyvisible --name "^$title\$" getwindowgeometry --shell)"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    wait_until keyboard_taken
    xdotool key q
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] && [ ! -s "$work/stderr" ] || fail "exit status $status, standard error: $(cat "$work/stderr")"
}
