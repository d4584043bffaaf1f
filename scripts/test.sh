#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs all of them, then builds them with
# ThreadSanitizer and runs the threaded ones again. Starts (and stops) the
# services the tests need: a JACK server with its dummy driver and an X
# server (Xvfb) for the window tests.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
scripts/deps.sh

JOBS=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

# --- services --------------------------------------------------------------
export JACK_DEFAULT_SERVER="kinetra-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
export JACK_NO_START_SERVER=1
JACK_PID=""
XVFB_PID=""
DBUS_PID=""
cleanup() {
  [ -n "$JACK_PID" ] && kill "$JACK_PID" 2>/dev/null || true
  [ -n "$DBUS_PID" ] && kill "$DBUS_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

mkdir -p "$ROOT/build"
# A session bus of the run's own. Without one, every process with a window
# has libdbus autolaunch a bus: it forks inside a process whose other
# threads are running, and under AddressSanitizer the child can hang on the
# allocator's lock, with the test's process waiting for it.
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r DBUS_PID; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 64 >"$ROOT/build/jackd.log" 2>&1 &
JACK_PID=$!

for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":${DISPLAY_NUM}" -screen 0 1280x1024x24 -nolisten tcp >"$ROOT/build/xvfb.log" 2>&1 &
XVFB_PID=$!
export DISPLAY=":${DISPLAY_NUM}"
export KINETRA_TEST_DISPLAY="$DISPLAY"
# Both services must be up before the first test that needs them.
for _ in $(seq 100); do
  [ -S "/tmp/.X11-unix/X${DISPLAY_NUM}" ] && break
  sleep 0.1
done
[ -S "/tmp/.X11-unix/X${DISPLAY_NUM}" ] || { echo "Xvfb did not start:" >&2; cat "$ROOT/build/xvfb.log" >&2; exit 1; }
kill -0 "$JACK_PID" 2>/dev/null || { echo "jackd did not start:" >&2; cat "$ROOT/build/jackd.log" >&2; exit 1; }

# --- AddressSanitizer + UndefinedBehaviorSanitizer: every test --------------
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_odr_violation=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
# Light debug information keeps compiling and linking the sanitizer builds
# quick; stack traces still name files and lines.
LIGHT_DEBUG=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g1" "-DCMAKE_C_FLAGS_DEBUG=-g1")
cmake -S . -B build/asan -G Ninja "${LIGHT_DEBUG[@]}" -DKINETRA_SANITIZE=address
cmake --build build/asan -j "$JOBS"
ctest --test-dir build/asan -j "$JOBS" --timeout 300

# --- ThreadSanitizer: the threaded tests --------------------------------------
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp"
cmake -S . -B build/tsan -G Ninja "${LIGHT_DEBUG[@]}" -DKINETRA_SANITIZE=thread
# Only the threaded tests run here, so only they are built (a test is named
# after its executable).
THREADED=$(ctest --test-dir build/tsan -L threaded -N | awk '/Test +#[0-9]+:/ {print $3}')
cmake --build build/tsan -j "$JOBS" --target $THREADED
ctest --test-dir build/tsan -j "$JOBS" -L threaded --timeout 300
