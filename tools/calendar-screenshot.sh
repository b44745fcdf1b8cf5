#!/usr/bin/env bash
# Takes the picture of the calendar panel on February 2026 (today the 10th, the 17th selected)
# under Xvfb and writes it to docs/calendar-february-2026.png.
# usage: tools/calendar-screenshot.sh [BUILD_DIR]   (default build; it is built if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target zorbek_ui_tests
ZORBEK_CALENDAR_SCREENSHOT="$PWD/docs/calendar-february-2026.png" QT_QPA_PLATFORM=xcb \
  ASAN_OPTIONS=detect_leaks=0 \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/zorbek_ui_tests" --gtest_filter='XCalendarTest.February2026Picture'
echo "docs/calendar-february-2026.png"
