#!/usr/bin/env bash
# The sample map opens in the real program, its window shows the file name, the
# idle program uses no CPU, and a click on the picture followed by "q" ends it normally.
source "$(dirname "$0")/lib.sh"
sample=${1:?sample map}
start_program "$sample"
id=$(timeout 30 xdotool search --sync --name "^Visualized file: $sample\$" | head -1)
eval "$(xdotool getwindowgeometry --shell "$id")"
[ "$WIDTH" -eq 564 ] || { echo "window width $WIDTH, expected 564"; exit 1; }
# Nothing happens now: the program must sleep, not poll.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
sleep 1
before=$(cpu_ticks)
sleep 2
used=$(( $(cpu_ticks) - before ))
[ "$used" -le 10 ] || { echo "idle program used $used CPU ticks in 2 s"; exit 1; }
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 sleep 0.3 key q
expect_exit 0
expect_stderr
