#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives one program folder with the side files, links
# in bin/, an icon, desktop entries for the viewer and the import command with the map
# types each opens, and the desktop's databases of both built (install-deps.sh brings the
# tools that build and check them); the installed program, started through its link,
# finds its side files and opens the installed sample map.
build=${1:?build folder}
source "$(dirname "$0")/lib.sh" unused
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
csort() { LC_ALL=C sort; }   # the same order in any locale
sorted() { tr ';' '\n' | sed '/^$/d' | csort; }
# The viewer opens its own maps; the import command converts the field's maps and
# reflections and starts the viewer on them. Each Exec starts an installed program.
[ "$(entry tivarel.desktop Exec)" = "$program %f" ] || fail "tivarel.desktop: Exec=$(entry tivarel.desktop Exec)"
[ "$(entry tivarel-import.desktop Exec)" = "$prefix/bin/tivarel-import --open %f" ] ||
    fail "tivarel-import.desktop: Exec=$(entry tivarel-import.desktop Exec)"
for desktop in tivarel.desktop tivarel-import.desktop; do
    binary=$(entry $desktop Exec) && binary=${binary%% *}
    [ -x "$(readlink -f "$binary")" ] || fail "$desktop starts $binary, which is not an installed program"
    [ "$(entry $desktop Icon)" = tivarel ] && [ "$(entry $desktop Type)" = Application ] || fail "$desktop: Icon or Type"
    desktop-file-validate "share/applications/$desktop" || fail "$desktop does not validate"
done
# The database built from the installed MIME package gives the types each entry lists
# exactly these globs, the viewer's own case-sensitive.
globs_of() {   # the globs of the types an entry lists, on one line
    for type in $(entry "$1" MimeType | sorted); do
        awk -F: -v type="$type" '$2 == type { print $3 }' share/mime/globs2
    done | csort | uniq | tr '\n' ' '
}
[ "$(globs_of tivarel.desktop)" = "*.FOU *.GRD *.MT1 *.fou *.grd *.mt1 " ] ||
    fail "the viewer opens $(globs_of tivarel.desktop)"
[ "$(globs_of tivarel-import.desktop)" = "*.ccp4 *.ccp4.gz *.map *.map.gz *.mrc *.mrc.gz *.mtz *.mtz.gz " ] ||
    fail "the import command opens $(globs_of tivarel-import.desktop)"
for glob in "application/x-zol-mt1:\*.mt1" "text/x-zol-fou:\*.fou" "text/x-zol-grd:\*.grd"; do
    grep -q "^50:$glob:cs$" share/mime/globs2 || fail "map type $glob not case-sensitive"
done
# The database of which program opens which type, built by the install.
for desktop in tivarel.desktop tivarel-import.desktop; do
    for type in $(entry $desktop MimeType | sorted); do
        grep -qxF "$type=$desktop;" share/applications/mimeinfo.cache || fail "mimeinfo.cache: no $type=$desktop;"
    done
done
bin/tivarel-import --help | grep -q "trilinear interpolation" || fail "tivarel-import --help"
start_program "$prefix/lib/tivarel/sample.mt1"
wait_until window_up "Visualized file: $prefix/lib/tivarel/sample.mt1"
click_and_press "Visualized file: $prefix/lib/tivarel/sample.mt1" q
expect_exit 0
expect_stderr
