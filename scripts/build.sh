#!/usr/bin/env bash
# Configures and builds one preset (default: dev). "program" builds only the
# program, in the dev preset's folder, without the tests and benchmarks (and
# so without their packages).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
if [ "$preset" = program ]; then
  cmake --preset dev -DSKIMLET_TESTS=OFF -DSKIMLET_BENCH=OFF >/dev/null
  cmake --build --preset dev --target skimlet
  exit 0
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
