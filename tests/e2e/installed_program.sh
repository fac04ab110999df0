#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives the program folder with its side files, links in bin/, an icon, desktop
# entries with the map types each opens and the desktop's databases built. The installed program, driven through X with
# xdotool as a user would, finds its side files and opens the installed sample map, then sleeps while nothing happens
# (no polling: almost no CPU), and "q" ends it normally. Everything the run needs lies in its own $work.
set -euo pipefail
build=${1:?build folder}
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
fail() { echo "$*"; exit 1; }
prefix="$work/prefix"
program="$prefix/bin/tivarel"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "$(cat "$work/install.log")"
cd "$prefix"
for f in tivarel tivarel-import cell_table.dat atompar2.txt layer_limit_presets.txt ZOLmap_POVray_head.def \
    readme.txt sample.mt1 sample.fou sample.grd; do [ -f "lib/tivarel/$f" ] || fail "missing lib/tivarel/$f"; done
for p in tivarel tivarel-import; do [ "$(readlink "bin/$p")" = "../lib/tivarel/$p" ] || fail "bin/$p: no link"; done
[ "$(identify -format %wx%h share/icons/hicolor/256x256/apps/tivarel.png)" = 256x256 ] || fail "no icon"

# The desktop entries, read as the desktop reads them: the keys of [Desktop Entry].
entry() {   # file key
    awk -F= -v key="$2" '/^\[/ { group = $0 } group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print }' \
        "share/applications/$1"
}
types() { entry "$1" MimeType | tr ';' '\n' | sed '/^$/d' | LC_ALL=C sort; }
# Each Exec starts an installed program; the built MIME database gives each entry's types exactly
# these globs, the viewer's case-sensitive, and the database of who opens which type lists both.
maps="*.ccp4 *.ccp4.gz *.map *.map.gz *.mrc *.mrc.gz *.mtz *.mtz.gz "
for desktop in "tivarel.desktop:$program %f:*.FOU *.GRD *.MT1 *.fou *.grd *.mt1 " \
    "tivarel-import.desktop:$prefix/bin/tivarel-import --open %f:$maps"; do
    IFS=: read -r name exec globs <<<"$desktop"
    [ "$(entry "$name" Exec)" = "$exec" ] || fail "$name: Exec=$(entry "$name" Exec)"
    [ -x "$(readlink -f "${exec%% *}")" ] || fail "$name starts ${exec%% *}, which is not an installed program"
    [ "$(entry "$name" Icon)" = tivarel ] && [ "$(entry "$name" Type)" = Application ] || fail "$name: Icon or Type"
    desktop-file-validate "share/applications/$name" || fail "$name does not validate"
    opened=$(for type in $(types "$name"); do awk -F: -v type="$type" '$2 == type { print $3 }' share/mime/globs2; done |
        LC_ALL=C sort -u | tr '\n' ' ')
    [ "$opened" = "$globs" ] || fail "$name opens $opened"
    for type in $(types "$name"); do
        grep -qxF "$type=$name;" share/applications/mimeinfo.cache || fail "mimeinfo.cache: no $type=$name;"
    done
done
for glob in "application/x-zol-mt1:\*.mt1" "text/x-zol-fou:\*.fou" "text/x-zol-grd:\*.grd"; do
    grep -q "^50:$glob:cs$" share/mime/globs2 || fail "map type $glob not case-sensitive"
done
bin/tivarel-import --help | grep -q "trilinear interpolation" || fail "tivarel-import --help"

# Runs a command every 20 ms until it succeeds, for at most 10 s.
wait_until() {
    for _ in $(seq 500); do "$@" && return 0; sleep 0.02; done
    fail "gave up waiting until $*; standard error: $(cat "$work/stderr")"
}
title="Visualized file: $prefix/lib/tivarel/sample.mt1"
"$program" "$prefix/lib/tivarel/sample.mt1" 2>"$work/stderr" &
pid=$!
window_up() { xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; }
wait_until window_up
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
# A click in the middle of the window; once the program holds the keyboard (the display
# started with it following the pointer, 1), q ends it with status 0 and nothing on standard error.
eval "$(xdotool search --onlyvisible --name "^$title\$" getwindowgeometry --shell)"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
keyboard_taken() { [ "$(xdotool getwindowfocus -f 2>/dev/null)" -gt 1 ] 2>/dev/null; }
wait_until keyboard_taken
xdotool key q
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] && [ ! -s "$work/stderr" ] || fail "exit status $status, standard error: $(cat "$work/stderr")"
