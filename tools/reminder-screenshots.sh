#!/usr/bin/env bash
# Draws the pictures of the reminder windows (list, edit dialog, pop-up, calendar view) into
# docs/ with the widget tests (offscreen; the CJK font of scripts/setup.sh is needed).
# usage: tools/reminder-screenshots.sh [BUILD_DIR]   (default build; it is built if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target zorbek_ui_tests
ZORBEK_REMINDER_SCREENSHOTS="$PWD/docs" QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
  "$build/zorbek_ui_tests" --gtest_filter='PopupTest.PicturesOfTheReminderWindows'
ls docs/reminder-*.png
