#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs `kinetra --demo` under Xvfb with a scratch home folder and writes a
# PNG of the window with four simulated bands moving: the data tiles and
# the knob rings of the default patch's two wheels, which follow band 1.
# The first run only lets Kinetra meet the bands (they are remembered in the
# device registry, so the wheels find their band at the next start); the
# second run takes the picture once the bands' warm-up is over.
#
#   scripts/demo-screenshot.sh [OUTPUT.png]
#
# BUILD_DIR (default build) is the build tree that holds src/kinetra.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${1:-$BUILD_DIR/screenshots/app-demo.png}
APP="$BUILD_DIR/src/kinetra"
[ -x "$APP" ] || cmake --build "$BUILD_DIR" --target kinetra

mkdir -p "$(dirname "$OUT")"
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
export HOME="$SCRATCH" XDG_RUNTIME_DIR="$SCRATCH/run" QT_QPA_PLATFORM=xcb JACK_NO_START_SERVER=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

run() {
  # The application saves and quits on SIGTERM.
  timeout -s TERM "$1" xvfb-run -a -s "-screen 0 1280x1024x24" "$APP" --demo "${@:2}" \
    >>"$SCRATCH/kinetra.log" 2>&1 || true
}
run 6
run 14 --screenshot "$OUT" --screenshot-delay 9000
if [ -f "$OUT" ]; then
  echo "$OUT"
else
  cat "$SCRATCH/kinetra.log" >&2
  exit 1
fi
