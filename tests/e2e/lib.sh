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

# Runs the program as an ordinary user even when the tests run as root, for whom no
# folder is read-only. The user's home, runtime folder and the display's key lie in $work.
start_program_as_user() {
    if [ "$(id -u)" -ne 0 ]; then start_program "$@"; return; fi
    mkdir -p "$work/home" "$work/run"
    chmod 700 "$work/run"
    [ -n "${XAUTHORITY:-}" ] && cp "$XAUTHORITY" "$work/xauth"
    chown -R nobody:nogroup "$work"
    setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
        env HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XAUTHORITY="$work/xauth" \
        "$program" "$@" 2>"$work/stderr" &
    pid=$!
}

# Waits until a window whose whole name is $1 exists; prints its id.
wait_for_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.02
    done
    echo "no window named '$1'" >&2; return 1
}

# Waits until no window named $1 is left.
wait_for_no_window() {
    for _ in $(seq 300); do
        [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ] && return 0
        sleep 0.02
    done
    echo "window '$1' stays" >&2; return 1
}

# Writes a flat FOU map of 11 x 11 x 2 points centred on the grid frame's zero, with a
# cell of 10 x 10 x 1 (identity matrix, no origin): quick to draw, all plane to pick in.
write_plane_map() {
    {
        printf 'plane\r\nheading\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n0 0 0\r\ncell\r\n10 10 1 90 90 90\r\naxes\r\n'
        printf -- '-5 1 0 0\r\n-5 1 0 0\r\n0 1 0 0\r\ncounts\r\n11 11 2\r\n'
        for z in 1 2; do
            printf 'Section\r\n%d\r\n' "$z"
            for _ in $(seq 11); do printf '0 0 0 0 0 0 0 0 0 0 0\r\n'; done
        done
        printf 'atoms\r\n0 14\r\n'
    } >"$1"
}

# Opens a plane map in $work/maps and switches the control panel to 2-D picking;
# sets main_x, main_y (the centre of the picture).
open_for_picking() {
    mkdir -p "$work/maps"
    write_plane_map "$work/maps/plane.fou"
    start_program_as_user "$work/maps/plane.fou"
    local main panel
    main=$(wait_for_window "Visualized file: $work/maps/plane.fou")
    panel=$(wait_for_window "Control Panel")
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    # The "2D" option: 120, 16 pixels into the picking frame, which starts 336 down.
    xdotool mousemove $((X + 130)) $((Y + 361)) click 1
    eval "$(xdotool getwindowgeometry --shell "$main")"
    main_x=$((X + WIDTH / 2))
    main_y=$((Y + HEIGHT / 2))
}

# A right click at (x, y) answered Yes: a 2-D pick added to the peak list. With a third
# argument the next box is not waited out (it may be another message).
pick_peak() {
    xdotool mousemove "$1" "$2" click 3
    wait_for_window Tivarel >/dev/null
    xdotool key Return
    [ $# -gt 2 ] || wait_for_no_window Tivarel
}
