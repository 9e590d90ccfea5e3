#!/usr/bin/env bash
# The slower checks CI adds to the test command: every test again in a build with AddressSanitizer
# and UndefinedBehaviorSanitizer (build-asan/), the standard C++ parts' tests with ThreadSanitizer
# (build-tsan/: the phone link's watcher and transfers run on threads), then each fuzz target under libFuzzer (build-fuzz/,
# clang) for FUZZ_SECONDS seconds (default 60) from its committed corpus. The corpus folders are
# only read: what a run finds new goes to a scratch folder, a finding to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLOWSMITH_SANITIZE=ON >/dev/null
cmake --build build-asan --parallel
# Qt keeps some allocations for the life of the process; leaks are not what this run looks for.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLOWSMITH_TSAN=ON >/dev/null
cmake --build build-tsan --parallel
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLOWSMITH_FUZZ=ON \
  >/dev/null
cmake --build build-fuzz --parallel
mkdir -p build-fuzz/findings
status=0
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  scratch=build-fuzz/scratch/$name
  rm -rf "$scratch" && mkdir -p "$scratch"
  echo "fuzz_$name: ${seconds} s"
  if ! build-fuzz/fuzz_"$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build-fuzz/findings/"$name"- "$scratch" "$corpus" \
      >build-fuzz/"$name".log 2>&1; then
    tail -n 30 build-fuzz/"$name".log
    status=1
  fi
  grep -E 'stat::number_of_executed_units|DONE' build-fuzz/"$name".log || true
done
exit $status
