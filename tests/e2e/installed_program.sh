#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives the program folder with its side files, links in
# bin/, an icon, desktop entries with the map types each opens and the desktop's databases
# built; the installed program finds its side files and opens the installed sample map.
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
open_map "$prefix/lib/tivarel/sample.mt1"
quit_cleanly
