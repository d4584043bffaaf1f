#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the framer fuzzer with clang and runs it for SECONDS (default 60)
# on a copy of the seed corpus. Prints libFuzzer's summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKINETRA_BUILD_FUZZ=ON -DKINETRA_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz --target fuzz_framer
mkdir -p build/fuzz/corpus
cp -n fuzz/corpus/* build/fuzz/corpus/ 2>/dev/null || true
build/fuzz/fuzz/fuzz_framer -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 \
  build/fuzz/corpus 2>&1 | tail -n 25
