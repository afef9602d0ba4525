#!/usr/bin/env bash
# Builds the Debian package of Skimlet into build/ (skimlet_VERSION_ARCH.deb):
# installs what building and packing need, builds the program alone in
# build/package and packs it. Install it with
#   sudo apt install ./build/skimlet_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh package
cmake --preset package >/dev/null
cmake --build --preset package
cpack --preset package
