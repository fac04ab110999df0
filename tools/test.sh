#!/usr/bin/env bash
# Builds Tivarel and runs the whole test suite: the normal build under Xvfb, then the
# core tests and the fuzz targets' corpora built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh build
CXX=clang++ TIVAREL_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Sanitize -DTIVAREL_SANITIZE=ON -DTIVAREL_FUZZ=ON
  -DTIVAREL_BUILD_APP=OFF -DTIVAREL_BUILD_BENCH=OFF" tools/build.sh build-sanitize
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
status=0
# -noreset: a server reset between two clients makes the next client fail to connect.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir build --output-on-failure -j2 || status=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 || status=1
exit $status
