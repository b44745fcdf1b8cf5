#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for a bounded time: scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]
# Corpora live in build-fuzz/corpus/<target>, seeded from the RTF samples; crashes are written
# to build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh clang libclang-rt-14-dev
seconds=${1:-60}; shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_plain_text fuzz_rtf_reader)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORBEK_FUZZ=ON -DZORBEK_TESTS=OFF -DZORBEK_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/crashes
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  if [ -z "$(ls -A "$corpus")" ]; then
    find tests/testdata/rtf -name '*.rtf' -size -64k -exec cp {} "$corpus/" \;
  fi
  echo "== $t: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
       "build-fuzz/$t" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
       -rss_limit_mb=2048 -artifact_prefix=build-fuzz/crashes/"$t"- -print_final_stats=1 \
       2>build-fuzz/"$t".log; then
    status=1
    echo "$t: FAILED, see build-fuzz/$t.log and build-fuzz/crashes/" >&2
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^Done|^#[0-9]+.*DONE" build-fuzz/"$t".log || true
done
exit $status
