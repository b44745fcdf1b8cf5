#!/usr/bin/env bash
# Takes the picture of a note editor holding a formatted Chinese note (a list, a link, a table
# and a picture) under Xvfb and writes it to docs/editor.png.
# usage: tools/editor-screenshot.sh [BUILD_DIR]   (default build; it is built if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target zorbek_ui_tests
ZORBEK_EDITOR_SCREENSHOT="$PWD/docs/editor.png" QT_QPA_PLATFORM=xcb \
  ASAN_OPTIONS=detect_leaks=0 \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/zorbek_ui_tests" --gtest_filter='EditorScreenshot.*'
echo "docs/editor.png"
