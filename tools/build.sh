#!/usr/bin/env bash
# Configure (once) and build one build folder; builds are serialised by a lock so
# that parallel work sessions never compile at the same time.
# Usage: tools/build.sh BUILD_DIR [cmake --build args...]
set -euo pipefail
dir=${1:?build folder}
shift
src=$(cd "$(dirname "$0")/.." && pwd)
exec flock /tmp/tivarel-build.lock bash -c '
  set -e
  [ -f "$0/build.ninja" ] || cmake -S "$1" -B "$0" -G Ninja ${TIVAREL_CMAKE_ARGS:-}
  cmake --build "$0" "${@:2}"
' "$dir" "$src" "$@"
