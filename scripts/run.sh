#!/usr/bin/env bash
# Installs what is missing, builds Skimlet and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh dev
exec ./build/dev/skimlet
