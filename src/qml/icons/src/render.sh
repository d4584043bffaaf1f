#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every icon source here to the PNG the documents load (icons/<name>.png).
# Needs rsvg-convert (librsvg2-bin). Run after changing a source; the PNGs are
# committed so that building does not need the tool.
set -euo pipefail
cd "$(dirname "$0")"
for svg in *.svg; do
    name=${svg%.svg}
    size=64
    case "$name" in
        grid) size=128 ;;
        trayIcon|trayIconOn|OV_logo) size=128 ;;
    esac
    rsvg-convert -w "$size" -h "$size" "$svg" -o "../$name.png"
done
