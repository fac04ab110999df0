#!/usr/bin/env bash
# Fuzzes every target for SECONDS each (default 60), outside CI. New inputs that reach
# new code collect in build-sanitize/fuzz-corpus/TARGET; crashes are written to
# build-sanitize/fuzz-findings/. Copy an input worth keeping into tests/fuzz/corpus/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ TIVAREL_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Sanitize -DTIVAREL_SANITIZE=ON -DTIVAREL_FUZZ=ON
  -DTIVAREL_BUILD_APP=OFF -DTIVAREL_BUILD_BENCH=OFF" tools/build.sh build-sanitize
mkdir -p build-sanitize/fuzz-findings
found=()   # targets that found something; the others still run
for binary in build-sanitize/tests/fuzz/fuzz_*; do
    target=$(basename "$binary")
    name=${target#fuzz_}
    scratch=build-sanitize/fuzz-corpus/$name
    mkdir -p "$scratch"
    echo "== $name: $seconds s"
    "$binary" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build-sanitize/fuzz-findings/"$name"- "$scratch" tests/fuzz/corpus/"$name" ||
        found+=("$name")
done
if [ ${#found[@]} -gt 0 ]; then
    echo "Findings in build-sanitize/fuzz-findings/ from: ${found[*]}"
    exit 1
fi
