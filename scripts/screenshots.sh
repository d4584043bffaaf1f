#!/usr/bin/env bash
# Writes PNG screenshots of the window (main window, preset bay open,
# preferences, about, and the missing virtual MIDI port warning) under Xvfb,
# with stand-ins for the back end.
#
#   scripts/screenshots.sh [OUTPUT_DIR]
#
# OUTPUT_DIR defaults to build-shots/screenshots. BUILD_DIR (default
# build-shots) is the build tree used for the kinetra-shots tool.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-shots}
OUT=${1:-$BUILD_DIR/screenshots}

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$BUILD_DIR" -j2 kinetra-shots

mkdir -p "$OUT"
export QT_QPA_PLATFORM=xcb
export HOME="$ROOT/$BUILD_DIR/shots-home"
export XDG_RUNTIME_DIR="$HOME/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/tools/kinetra-shots/kinetra-shots" "$OUT"
