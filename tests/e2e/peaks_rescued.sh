#!/usr/bin/env bash
# Peaks never saved are kept in a recovery file beside the map, in the peak file's form:
#   close  - two peaks, then a save at closing into a read-only folder, which fails;
#   full   - 201 confirmed peaks: "To many new peaks" ends the program.
source "$(dirname "$0")/lib.sh"
case_name=${1:?close or full}
open_for_picking
peak_line='^ATOM Q  [0-9]+   X=[- ][.0-9E+-]+  Y=[- ][.0-9E+-]+  Z=[- ][.0-9E+-]+ '$'\r''$'
if [ "$case_name" = close ]; then
    pick_peak "$main_x" "$main_y"
    pick_peak $((main_x + 60)) $((main_y - 40))
    mkdir -p "$work/read-only"
    chmod 555 "$work/read-only"
    xdotool key q
    sleep 0.5
    xdotool key ctrl+a type "$work/read-only/newatoms.dat"
    xdotool key Return
    wait_for_messages 1
    xdotool key Return
    expect_exit 0
    want=2
else
    for _ in $(seq 200); do pick_peak "$main_x" "$main_y"; done
    pick_peak "$main_x" "$main_y" last
    wait_for_messages 1
    xdotool key Return
    expect_exit 1
    want=201
fi
files=("$work"/maps/plane-unsaved-peaks-*.dat)
[ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || { echo "no recovery file beside the map"; ls -la "$work/maps"; exit 1; }
lines=$(grep -c -E "$peak_line" "${files[0]}")
[ "$lines" -eq "$want" ] || { echo "recovery file holds $lines peak lines, expected $want:"; cat "${files[0]}"; exit 1; }
[ "$(wc -l <"${files[0]}")" -eq "$want" ] || { echo "recovery file holds other lines"; exit 1; }
[ ! -e "$work/read-only/newatoms.dat" ] || { echo "the failed save left a file"; exit 1; }
note="were written to ${files[0]}."
if [ "$case_name" = close ]; then
    expect_stderr "Cannot write the file $work/read-only/newatoms.dat: Permission denied The 2 peaks not saved to a peak file $note"
else
    expect_stderr "To many new peaks The 201 peaks not saved to a peak file $note"
fi
