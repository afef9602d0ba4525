#!/usr/bin/env bash
# Builds what is needed and renders the main window, without a display, into
# docs/main-window.png, and the same window after downloading a message
# into docs/message-view.png.
set -euo pipefail
cd "$(dirname "$0")/.."
# Configured every time: scripts/run.sh leaves the tests out of build/dev.
cmake --preset dev >/dev/null
cmake --build --preset dev --target app_tests
mkdir -p docs
SKIMLET_SCREENSHOT="$PWD/docs/main-window.png" SKIMLET_SCREENSHOT_VIEW="$PWD/docs/message-view.png" \
  QT_QPA_PLATFORM=offscreen \
  ./build/dev/tests/app_tests --gtest_filter='Screenshot.*'
echo "wrote docs/main-window.png and docs/message-view.png"
