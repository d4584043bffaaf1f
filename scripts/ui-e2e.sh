#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end check of the knobs and the device band against the real back
# end: runs `kinetra --demo` (a simulated receiver with four moving bands on
# a pseudo-terminal) under Xvfb with the driver tests/qml/e2e/KnobsEndToEnd.qml,
# which switches the receiver on, focuses a band, adds a wheel by clicking an
# empty knob's header and chooses the band and an axis in the editor with
# real mouse clicks. Then the screenshots are checked: the knob was empty
# before, its ring shows in the band's colour afterwards and moves between
# two later shots, and the band's data tile moves too.
#
#   scripts/ui-e2e.sh [OUTPUT_DIR]
#
# OUTPUT_DIR defaults to $BUILD_DIR/ui-e2e; BUILD_DIR (default build-e2e) is
# the build tree used for the kinetra program. HOME points at a temporary
# folder, so the real documents folder is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-e2e}
OUT=${1:-$BUILD_DIR/ui-e2e}

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$BUILD_DIR" -j2 kinetra

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
rm -f "$OUT"/e2e-*.png "$OUT/e2e.log"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

set +e
(cd "$OUT" && timeout 180 xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$ROOT/$BUILD_DIR/src/kinetra" --demo --qml "$ROOT/tests/qml/e2e/KnobsEndToEnd.qml") >"$OUT/e2e.log" 2>&1
status=$?
set -e
grep "E2E" "$OUT/e2e.log" || true
if [ "$status" -ne 0 ] || ! grep -q "E2E PASS" "$OUT/e2e.log"; then
  echo "ui-e2e: the window run failed (exit $status), see $OUT/e2e.log" >&2
  exit 1
fi

# The picture checks. The driver printed the knob's and the tile's
# rectangles in window pixels ("E2E knob X Y W H", "E2E tile X Y W H").
python3 - "$OUT" <<'PY'
import re, struct, sys, zlib

out = sys.argv[1]
log = open(out + "/e2e.log").read()

def rect(name):
    m = re.search(r"E2E %s (\d+) (\d+) (\d+) (\d+)" % name, log)
    if not m:
        sys.exit("ui-e2e: no %s rectangle in the log" % name)
    return tuple(int(v) for v in m.groups())

def png(path):
    """Width, height, channels and unfiltered rows of an 8-bit RGB/RGBA PNG."""
    data = open(path, "rb").read()
    pos, idat, width = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour not in (2, 6):
                sys.exit("ui-e2e: %s is not 8-bit RGB(A)" % path)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prior = [], bytearray(stride)
    for y in range(height):
        at = y * (stride + 1)
        f, row = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = prior[i]
            c = prior[i - channels] if i >= channels else 0
            if f == 1:
                row[i] = (row[i] + a) & 255
            elif f == 2:
                row[i] = (row[i] + b) & 255
            elif f == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(row)
        prior = row
    return width, height, channels, rows

def pixels(image, r):
    width, height, ch, rows = image
    x0, y0, w, h = r
    for y in range(max(0, y0), min(height, y0 + h)):
        row = rows[y]
        for x in range(max(0, x0), min(width, x0 + w)):
            yield tuple(row[x * ch:x * ch + 3])

def gold(p):  # the colour of the second band, #ffd700
    return p[0] > 200 and 180 < p[1] < 235 and p[2] < 90

def changed(a, b, r):
    return sum(1 for p, q in zip(pixels(a, r), pixels(b, r))
               if sum(abs(u - v) for u, v in zip(p, q)) > 40)

before = png(out + "/e2e-1-before.png")
after = png(out + "/e2e-3-after.png")
later = png(out + "/e2e-4-after-later.png")
knob, tile = rect("knob"), rect("tile")
checks = [
    ("empty knob shows no ring before", sum(map(gold, pixels(before, knob))) == 0),
    ("knob ring in the band's colour after", sum(map(gold, pixels(after, knob))) >= 10),
    ("knob ring moves between two shots", changed(after, later, knob) >= 5),
    ("data tile moves between two shots", changed(after, later, tile) >= 5),
]
failed = False
for name, ok in checks:
    print("%s: %s" % ("ok" if ok else "FAILED", name))
    failed |= not ok
print("screenshots in " + out)
sys.exit(1 if failed else 0)
PY
