#!/usr/bin/env bash
# Installs what is missing, builds Skimlet and runs the whole test suite.
# With "asan" it does the same in the AddressSanitizer/UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
bash scripts/setup.sh test
bash scripts/build.sh "$preset"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j2
