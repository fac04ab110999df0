#!/usr/bin/env bash
# A map name with an unknown extension shows two boxes, "Strange file extension !!!"
# and the three characters, and ends the program with a failure status.
source "$(dirname "$0")/lib.sh"
start_program "$work/map.Grd"
wait_for_messages 1
xdotool key Return
wait_for_messages 2
xdotool key Return
expect_exit 1
expect_stderr "Strange file extension !!!" "Grd"
