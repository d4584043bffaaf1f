#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon (the "connected" tray icon the about window
# shows) to the PNG sizes installed into the hicolor theme. Needs
# rsvg-convert (librsvg2-bin). The PNGs are committed so that building and
# packaging do not need the tool; run this after changing the source.
set -euo pipefail
cd "$(dirname "$0")"
SOURCE=../../src/qml/icons/src/trayIconOn.svg
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$SOURCE" -o "kinetra-$size.png"
done
