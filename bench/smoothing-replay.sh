#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A wheel's smoothing seen from outside, process against process: a
# recording of a band at rest (written by bench_smoothing) is replayed in a
# loop by `kinetra-sim --replay --noise DEG` to `kinetra --headless`, once
# with a patch whose one wheel (X, controller 1) is plain and once with the
# same wheel smoothing (the editor's defaults: 1 Hz, 1, dead band 1). The
# MIDI messages per second come from the status line Kinetra prints every
# 10 seconds: the difference between the last two lines, after the band's
# warm-up.
#
#   bench/smoothing-replay.sh [NOISE_DEGREES]
#
# BUILD_DIR (default build) holds src/kinetra, tools/kinetra-sim/kinetra-sim
# and bench/bench_smoothing (configure with -DKINETRA_BUILD_BENCH=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
NOISE=${1:-1}
APP="$BUILD_DIR/src/kinetra"
SIM="$BUILD_DIR/tools/kinetra-sim/kinetra-sim"
BENCH="$BUILD_DIR/bench/bench_smoothing"
for p in "$APP" "$SIM" "$BENCH"; do
  [ -x "$p" ] || { echo "missing $p" >&2; exit 1; }
done

SCRATCH=$(mktemp -d)
SIM_PID=""
APP_PID=""
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} JACK_NO_START_SERVER=1

"$BENCH" --noise 0 --write-rest-recording "$SCRATCH/rest.kinrec" >/dev/null

# The band of the recording is 24301; the smoothing keys are the wheel's
# optional ones.
patch() {
  cat >"$SCRATCH/$1.json" <<EOF
{ "wheels": [ { "index": 0, "name": "Wheel 1", "deviceID": "24301", "axis": 0,
    "eventNum": 1, "channel": 0, "min": 0, "max": 127, "lowerbound": 0,
    "upperbound": 127, "sensitivity": 1, "defaultValue": -1 $2 } ] }
EOF
}
patch plain ""
patch smooth ', "smoothingMinCutoff": 1, "smoothingBeta": 1, "deadBand": 1'

rate() {
  local mode=$1
  export HOME="$SCRATCH/home-$mode" XDG_RUNTIME_DIR="$SCRATCH/run-$mode"
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  "$SIM" --replay "$SCRATCH/rest.kinrec" --loop --noise "$NOISE" --link "$SCRATCH/port-$mode" \
    </dev/null >"$SCRATCH/sim-$mode.log" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 50); do [ -e "$SCRATCH/port-$mode" ] && break; sleep 0.1; done
  "$APP" --headless --midi-service none --port "$SCRATCH/port-$mode" \
    --patch "$SCRATCH/$mode.json" 2>"$SCRATCH/app-$mode.log" &
  APP_PID=$!
  sleep 46
  kill -TERM "$APP_PID"; wait "$APP_PID" || true; APP_PID=""
  kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true; SIM_PID=""
  grep -o '[0-9]* MIDI messages sent' "$SCRATCH/app-$mode.log" | tail -2 | awk '
    NR == 1 { a = $1 } NR == 2 { b = $1 }
    END { if (NR < 2) { print "n/a"; exit } printf "%.1f msg/s (%d messages in all)\n", (b - a) / 10, b }'
}

PLAIN=$(rate plain)
SMOOTH=$(rate smooth)
echo "noise $NOISE deg at rest: plain $PLAIN; smoothed $SMOOTH"
