#!/usr/bin/env bash
# Installs what Tivarel needs, builds it, and opens the bundled sample map.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
TIVAREL_CMAKE_ARGS="-DCMAKE_BUILD_TYPE=Release" tools/build.sh build --target tivarel
exec build/tivarel build/sample.fou
