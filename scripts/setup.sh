#!/usr/bin/env bash
# Installs the Debian packages Zorbek needs to build, test and run, and any extra packages named
# on the command line (scripts/fuzz.sh asks for clang this way). Run as root or with sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6dbus6 libgl-dev
  qt6-translations-l10n
  libpugixml-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk
  xvfb xauth
  unrtf
  syncthing curl python3
  dpkg-dev desktop-file-utils appstream man-db
  # the test on headless Wayland compositors (tests/wayland): sway with its bar as the tray,
  # weston, Qt's Wayland platform, screenshots, typed keys, XWayland, a notification server
  sway weston qt6-wayland xwayland grim wtype mako-notifier
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
