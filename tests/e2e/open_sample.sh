#!/usr/bin/env bash
# The sample map opens in the real program, which then sleeps while nothing happens (no
# polling: almost no CPU), and "q" ends it normally.
source "$(dirname "$0")/lib.sh"
open_map "${1:?sample map}"
# Its start-up may take a while on a busy machine: within 30 s some 2 s must pass in which
# it uses at most 10 CPU ticks (a polling program uses one in every tick it gets).
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
used=()
for _ in $(seq 15); do
    before=$(cpu_ticks) && sleep 2
    used+=($(($(cpu_ticks) - before)))
    [ "${used[-1]}" -le 10 ] && break
done
[ "${used[-1]}" -le 10 ] || fail "the idle program used ${used[*]} CPU ticks in each 2 s for 30 s"
quit_cleanly
