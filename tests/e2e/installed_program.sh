#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives one program folder with the side files, links
# in bin/, a desktop entry, an icon and the map types; the installed program, started
# through its link, finds its side files and opens the installed sample map.
build=${1:?build folder}
source "$(dirname "$0")/lib.sh" unused
prefix="$work/prefix"
program="$prefix/bin/tivarel"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "$(cat "$work/install.log")"
cd "$prefix"
for f in tivarel tivarel-import cell_table.dat atompar2.txt layer_limit_presets.txt ZOLmap_POVray_head.def \
    readme.txt sample.mt1 sample.fou sample.grd; do [ -f "lib/tivarel/$f" ] || fail "missing lib/tivarel/$f"; done
for p in tivarel tivarel-import; do [ "$(readlink "bin/$p")" = "../lib/tivarel/$p" ] || fail "bin/$p: no link"; done
for line in "Exec=$program %f" "Icon=tivarel" "MimeType=application/x-zol-mt1;text/x-zol-fou;text/x-zol-grd;"; do
    grep -qxF "$line" share/applications/tivarel.desktop || fail "no desktop entry line $line"
done
[ "$(identify -format %wx%h share/icons/hicolor/256x256/apps/tivarel.png)" = 256x256 ] || fail "no icon"
# The map types as the desktop's database reads them from the installed XML.
for glob in "application/x-zol-mt1:\*.mt1" "text/x-zol-fou:\*.fou" "text/x-zol-grd:\*.grd"; do
    grep -q "^50:$glob:cs$" share/mime/globs2 || fail "map type $glob not registered"
done
bin/tivarel-import --help | grep -q "trilinear interpolation" || fail "tivarel-import --help"
start_program "$prefix/lib/tivarel/sample.mt1"
wait_until window_up "Visualized file: $prefix/lib/tivarel/sample.mt1"
click_and_press "Visualized file: $prefix/lib/tivarel/sample.mt1" q
expect_exit 0
expect_stderr
