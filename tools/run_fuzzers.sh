#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a fixed time (the
# dispatcher five times as long) from its seed corpus in tests/fuzz/corpus/<target>. Fails on the
# first target that crashes, hangs or leaks; the input that did it is kept as
# build-fuzz/findings/<target>/crash-* (or timeout-*).
#   tools/run_fuzzers.sh [seconds per target] [target ...]     (default 25 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-25}"
shift || true

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLOMAR_FUZZ=ON \
  -DQUILLOMAR_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do
    name="$(basename "$f" .cpp)"
    targets+=("${name#fuzz_}")
  done
fi

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QUILLOMAR_DATA_DIR="$PWD/build-fuzz"
failed=0
passed=0
for t in "${targets[@]}"; do
  work="build-fuzz/findings/$t"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  # The seeds are read from the committed folder; what the run adds goes to the scratch folder.
  # stdout is closed: the game's log lines would only slow the run down. An input is a hang after a minute: the
  # inputs take a fraction of a second, a few seconds under sanitizers on a loaded machine.
  dict=()
  [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
  # The dispatcher's inputs each run a world for up to twelve simulated seconds, a few inputs a
  # second under the sanitizers: it gets five times the readers' time, or it would try too few.
  time="$seconds"
  [ "$t" = dispatch ] && time=$((seconds * 5))
  if build-fuzz/tests/fuzz/"fuzz_$t" -max_total_time="$time" -timeout=60 -rss_limit_mb=3072 -close_fd_mask=1 \
    -print_final_stats=1 "${dict[@]}" -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$t" \
    >"$work/log.txt" 2>&1; then
    echo "fuzz_$t: $(grep -E '^stat::number_of_executed_units' "$work/log.txt" | awk '{print $2}') runs in ${time} s, no finding"
    passed=$((passed + 1))
  else
    echo "fuzz_$t: FAILED; the tail of $work/log.txt:"
    tail -n 60 "$work/log.txt"
    ls "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-* 2>/dev/null || true
    failed=$((failed + 1))
  fi
done
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
