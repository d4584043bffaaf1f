#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes PNG screenshots of the window (main window, preset bay open with
# its save dialog, the five menus, preferences, about, and the missing
# virtual MIDI port warning) under Xvfb, with stand-ins for the back end.
# When the application itself is built in the same tree, it also writes
# app-main-window.png from the real program (run with a scratch HOME).
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

APP="$BUILD_DIR/src/kinetra"
if [ -x "$APP" ]; then
  # The application quits on SIGTERM; the scratch HOME keeps its files away
  # from the user's documents.
  timeout -s TERM 25 xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$APP" --screenshot "$OUT/app-main-window.png" --screenshot-delay 4000 \
    >"$HOME/app.log" 2>&1 || true
  if [ -f "$OUT/app-main-window.png" ]; then
    echo "$OUT/app-main-window.png"
  else
    echo "the application wrote no screenshot (see $HOME/app.log)" >&2
  fi
fi
