#!/usr/bin/env bash
# Peaks never saved are kept in a recovery file beside the map, in the peak file's form:
#   close - two peaks, then a save at closing into a read-only folder, which fails;
#   full  - 201 peaks picked and confirmed: "To many new peaks" ends the program.
source "$(dirname "$0")/lib.sh"
{   # 11 x 11 x 2 zeros on a 10 x 10 x 1 cell centred on the grid frame's zero: all plane to pick in
    printf 'plane\r\nheading\r\n1 0 0\r\n0 1 0\r\n0 0 1\r\n0 0 0\r\ncell\r\n10 10 1 90 90 90\r\naxes\r\n'
    printf -- '-5 1 0 0\r\n-5 1 0 0\r\n0 1 0 0\r\ncounts\r\n11 11 2\r\n'
    for z in 1 2; do printf 'Section\r\n%d\r\n' "$z" && printf '0 0 0 0 0 0 0 0 0 0 0\r\n%.0s' {1..11}; done
    printf 'atoms\r\n0 14\r\n'
} >"$work/plane.fou"
start_program_as_user "$work/plane.fou"
wait_until window_up "Visualized file: $work/plane.fou"
wait_until window_up "Control Panel" && sleep 0.5
eval "$(xdotool search --onlyvisible --name '^Control Panel$' getwindowgeometry --shell)"
xdotool mousemove $((X + 130)) $((Y + 361)) click 1   # "2D", 120, 16 pixels into the picking frame
eval "$(xdotool search --onlyvisible --name "^Visualized file: $work/plane.fou\$" getwindowgeometry --shell)"
# A right click $1 pixels right of the picture's middle, answered Yes.
pick() {
    xdotool mousemove $((X + WIDTH / 2 + $1)) $((Y + HEIGHT / 2)) click --delay 0 3
    wait_until focus Tivarel
    xdotool key --delay 0 Return sleep 0.02 search --onlyvisible --name '^Tivarel$' >/dev/null || return 0
    [ $# -gt 1 ] || wait_until window_gone Tivarel   # unless another box follows
}
if [ "${1:?close or full}" = close ]; then
    pick 0 && pick 60
    mkdir -m 555 "$work/read-only"
    xdotool key q
    wait_until focus "Save As"
    xdotool key ctrl+a type "$work/read-only/newatoms.dat"
    xdotool key Return
    want=2 status=0 lead="Cannot write the file $work/read-only/newatoms.dat: Permission denied The 2 peaks"
else
    for _ in $(seq 200); do pick 0; done
    pick 0 last
    want=201 status=1 lead="To many new peaks The 201 peaks"
fi
wait_until grep -q . "$work/stderr"   # the message box is up
wait_until focus Tivarel
xdotool key Return
expect_exit $status
files=("$work"/plane-unsaved-peaks-*.dat)
peak='^ATOM Q  [0-9]+   X=[- ][.0-9E+-]+  Y=[- ][.0-9E+-]+  Z=[- ][.0-9E+-]+ '$'\r''$'
[ ${#files[@]} -eq 1 ] && [ "$(grep -c -E "$peak" "${files[0]}")" -eq $want ] &&
    [ "$(wc -l <"${files[0]}")" -eq $want ] || fail "no recovery file of $want peaks beside the map: $(ls "$work")"
expect_stderr "$lead not saved to a peak file were written to ${files[0]}."
