#!/usr/bin/env bash
# Builds Velmora (optimised) and starts the viewer, which scans the sample folder "DICOM"
# that the build places beside the program. Installs the packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora
exec "$build/app/velmora" "$@"
