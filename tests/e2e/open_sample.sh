#!/usr/bin/env bash
# The sample map opens in the real program, which then sleeps while nothing happens (no
# polling: almost no CPU in 2 s), and "q" ends it normally.
source "$(dirname "$0")/lib.sh"
start_program "${1:?sample map}"
wait_until window_up "Visualized file: $1"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
sleep 1 && before=$(cpu_ticks) && sleep 2
used=$(($(cpu_ticks) - before))
[ "$used" -le 10 ] || fail "idle program used $used CPU ticks in 2 s"
click_and_press "Visualized file: $1" q
expect_exit 0
expect_stderr
