#!/usr/bin/env bash
# Configures and builds one flavour of Zorbek: scripts/build.sh release|asan|tsan [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}; shift || true
case "$flavour" in
  release) dir=build;      opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    dir=build-asan; opts=(-DCMAKE_BUILD_TYPE=Debug -DZORBEK_SANITIZE=ON -DZORBEK_BENCH=OFF) ;;
  tsan)    dir=build-tsan; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORBEK_TSAN=ON -DZORBEK_BENCH=OFF -DZORBEK_UI=OFF) ;;
  *) echo "usage: scripts/build.sh release|asan|tsan [targets...]" >&2; exit 2 ;;
esac
# A compiler cache, where one is installed, lets several work trees share their object files.
if command -v ccache >/dev/null; then
  opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" ${1:+--target "$@"}
