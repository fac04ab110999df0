#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives one program folder with the side files,
# links in bin/, a desktop entry, icons and the map types; the installed program,
# started through its link, finds its side files and opens the installed sample map.
build=${1:?build folder}
source "$(dirname "$0")/lib.sh" unused
prefix="$work/prefix"
program="$prefix/bin/tivarel"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
fail() { echo "$*"; exit 1; }
for f in tivarel tivarel-import cell_table.dat atompar2.txt layer_limit_presets.txt ZOLmap_POVray_head.def \
         readme.txt sample.mt1 sample.fou sample.grd; do
    [ -f "$prefix/lib/tivarel/$f" ] || fail "missing lib/tivarel/$f"
done
for p in tivarel tivarel-import; do
    [ "$(readlink "$prefix/bin/$p")" = "../lib/tivarel/$p" ] || fail "bin/$p is not a link to ../lib/tivarel/$p"
done
desktop="$prefix/share/applications/tivarel.desktop"
grep -qx "Exec=$prefix/bin/tivarel %f" "$desktop" || fail "desktop entry: $(cat "$desktop")"
grep -qx "Icon=tivarel" "$desktop" || fail "desktop entry names no icon"
grep -qx "MimeType=application/x-zol-mt1;text/x-zol-fou;text/x-zol-grd;" "$desktop" || fail "desktop entry: no map types"
[ "$(identify -format %wx%h "$prefix/share/icons/hicolor/256x256/apps/tivarel.png")" = 256x256 ] || fail "no 256 x 256 icon"
# The map types as the desktop's database read them from the installed XML.
for glob in "application/x-zol-mt1:\*.mt1" "text/x-zol-fou:\*.fou" "text/x-zol-grd:\*.grd"; do
    grep -q "^50:$glob:cs$" "$prefix/share/mime/globs2" || fail "map type $glob not registered"
done
"$prefix/bin/tivarel-import" --help | grep -q "trilinear interpolation" || fail "tivarel-import --help"
sample="$prefix/lib/tivarel/sample.mt1"
start_program "$sample"
id=$(timeout 30 xdotool search --sync --name "^Visualized file: $sample\$" | head -1)
[ -n "$id" ] || fail "no window: $(cat "$work/stderr")"
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 sleep 0.3 key q
expect_exit 0
expect_stderr
