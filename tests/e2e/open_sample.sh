#!/usr/bin/env bash
# The sample map opens in the real program, its window shows the file name, and
# a click on the picture followed by "q" ends the program normally.
source "$(dirname "$0")/lib.sh"
sample=${1:?sample map}
start_program "$sample"
id=$(timeout 30 xdotool search --sync --name "^Visualized file: $sample\$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$id")"
[ "$WIDTH" -eq 564 ] || { echo "window width $WIDTH, expected 564"; exit 1; }
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 sleep 0.3 key q
expect_exit 0
expect_stderr
