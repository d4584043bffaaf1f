#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kinetra and starts it. Arguments are
# passed on to the application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINETRA_BUILD_TESTS=OFF
cmake --build build/release --target kinetra
exec build/release/src/kinetra "$@"
