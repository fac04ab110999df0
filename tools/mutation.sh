#!/usr/bin/env bash
# The mutation check: applies the slips of tools/mutants.txt one at a time, rebuilds the
# test programs and runs the core, import and window tests (stopping at the first failure).
# Usage: tools/mutation.sh [BUILD_DIR] [mutants.py options, e.g. --only 3,7]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
[ -f "$build/build.ninja" ] || tools/build.sh "$build"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
tests="$build/tests/core_tests --gtest_brief=1 --gtest_fail_fast"
tests+=" && $build/tests/import_tests --gtest_brief=1 --gtest_fail_fast"
tests+=" && xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' $build/tests/app_tests --gtest_brief=1 --gtest_fail_fast"
# Test output may hold bytes that are not UTF-8; the checker reads it as text.
exec python3 tools/mutants.py tools/mutants.txt \
    --build "flock /tmp/tivarel-build.lock cmake --build $build --target side_files core_tests import_tests app_tests" \
    --test "bash -o pipefail -c \"($tests) 2>&1 | iconv -c -f UTF-8 -t UTF-8\"" --timeout 900 "$@"
