#!/usr/bin/env bash
# Builds the Debian package zorbek_<version>_<arch>.deb from a release build of what it holds
# (the program, zorbek-cli and its manual page) in build-package/, and prints its path.
# Its library dependencies are found by dpkg-shlibdeps; its version is the project's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DZORBEK_TESTS=OFF \
  -DZORBEK_BENCH=OFF >/dev/null
cmake --build "$dir" --target Zorbek zorbek-cli zorbek_man_page
rm -f "$dir"/zorbek_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/zorbek_*.deb)
echo "$deb"
