#!/usr/bin/env bash
# Start-up time of `glowsmith --screenshot` with the largest legal document, next to the same for
# an empty Qt window built the same way. Usage: tools/startup-bench.sh [BUILD_DIR] [RUNS], where
# BUILD_DIR was configured with -DGLOWSMITH_BENCH=ON (the document and the empty window come from
# bench/).
set -euo pipefail
build=${1:-build}
runs=${2:-10}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/glowsmith_document_bench" --write-largest "$tmp/largest.pat" >/dev/null
export XDG_CONFIG_HOME="$tmp/config"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() {
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s%N)
    echo $(((e - s) / 1000000))
  done | median
}
editor=$(time_ms "$build/glowsmith" --screenshot "$tmp/shot.png" "$tmp/largest.pat")
empty=$(time_ms "$build/glowsmith_empty_window" "$tmp/empty.png")
text=$(time_ms "$build/glowsmith_empty_window" "$tmp/text.png" --with-text)
echo "glowsmith --screenshot with the largest file: ${editor} ms (median of $runs)"
echo "empty Qt window, same build:                  ${empty} ms"
echo "empty Qt window with one line of text:        ${text} ms"
awk -v a="$editor" -v b="$empty" -v c="$text" \
  'BEGIN { printf "ratio to the empty window: %.2f, to the window with text: %.2f\n", a / b, a / c }'
