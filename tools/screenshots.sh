#!/usr/bin/env bash
# Pictures of every page of the main window and of both dialogs, in English and Russian, with
# samples/funlight.pat loaded. Usage: tools/screenshots.sh OUTDIR [BUILD_DIR]
# Compare two sets: for f in A/*.png; do compare -metric AE "$f" "B/${f##*/}" null:; echo; done
set -euo pipefail
out=${1:?usage: tools/screenshots.sh OUTDIR [BUILD_DIR]}
build=${2:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target glowsmith_screenshots >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
XDG_CONFIG_HOME="$tmp" QT_QPA_PLATFORM=offscreen \
  "$build/glowsmith_screenshots" "$out" "$root/samples/funlight.pat"
ls "$out"/*.png | wc -l | xargs echo "pictures written to $out:"
