#!/usr/bin/env bash
# Installs what building and running needs (only that), builds Skimlet and
# starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
bash scripts/build.sh program
exec ./build/dev/skimlet
