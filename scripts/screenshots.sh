#!/usr/bin/env bash
# Refreshes the README's pictures of the windows, docs/*.png: builds
# tapwatch-shots and the capture generator, generates a capture, and takes the
# pictures on an X server of its own (Xvfb, 1280x1024) under openbox, while
# the generated frames are sent onto lo during a live capture. Capturing needs
# root (or sudo).
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build}

for tool in Xvfb openbox; do
  command -v "$tool" > /dev/null || { echo "$tool is missing: scripts/build.sh installs it" >&2; exit 1; }
done
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target tapwatch-shots tapwatch-gen

run=()
[ "$(id -u)" -eq 0 ] || run=(sudo)

tmp=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2> /dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

gen=$build/bin/tapwatch-gen
"$gen" --kind mix --count 400 --seed 7 -o "$tmp/mix.pcap"
"$gen" --kind http -o "$tmp/http.pcap"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3> "$tmp/display" 2> "$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
openbox > "$tmp/openbox.log" 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$top/docs"
"${run[@]}" env DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$build/bin/tapwatch-shots" \
  "$top/docs" "$tmp/mix.pcap" "$tmp/http.pcap"
