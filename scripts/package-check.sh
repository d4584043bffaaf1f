#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves that Kinetra installs and packages: builds a release tree, installs
# it into a fresh temporary prefix and checks the installed files, builds
# the Debian package with CPack, unpacks it into a fresh directory tree with
# dpkg-deb -x (nothing is installed on the system), checks that its
# dependencies are installed here, and starts the unpacked program: once
# with --version, and once with --demo under Xvfb for a few seconds, ended
# with SIGTERM, on which it must save its files and exit 0.
#
#   scripts/package-check.sh
#
# BUILD_DIR (default build-pkg) is the build tree; the package is left in
# $BUILD_DIR/package. DEMO_SECONDS (default 8) is how long the demo runs.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-pkg}
DEMO_SECONDS=${DEMO_SECONDS:-8}
APP_ID=org.example.kinetra

step() { printf '\n== %s\n' "$*"; }
die() {
  echo "package-check: $*" >&2
  exit 1
}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

step "build ($BUILD_DIR)"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINETRA_BUILD_TESTS=OFF >/dev/null
ninja -C "$BUILD_DIR" -j 2 kinetra kinetra-sim kinetra_man_pages
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
[ -n "$VERSION" ] || die "no project version in $BUILD_DIR/CMakeCache.txt"

step "cmake --install into a fresh prefix"
cmake -DBUILD_DIR="$BUILD_DIR" -DPREFIX="$WORK/prefix" -DSOURCE_DIR="$ROOT" \
  -DAPP_ID="$APP_ID" -DVERSION="$VERSION" -P packaging/InstallCheck.cmake

step "cpack -G DEB"
(cd "$BUILD_DIR" && cpack -G DEB -B "$WORK/cpack" >"$WORK/cpack.log" 2>&1) || {
  cat "$WORK/cpack.log" >&2
  die "cpack failed"
}
DEB=$(ls "$WORK"/cpack/kinetra_*.deb 2>/dev/null | head -n 1)
[ -n "$DEB" ] || die "cpack made no kinetra_*.deb (see above)"
mkdir -p "$BUILD_DIR/package"
cp "$DEB" "$BUILD_DIR/package/"
dpkg-deb --field "$DEB" Package Version Architecture Section Installed-Size Depends Recommends

# The package holds the programs and the desktop files in their places.
dpkg-deb --contents "$DEB" | awk '{print $NF}' >"$WORK/contents"
for path in ./usr/bin/kinetra ./usr/bin/kinetra-sim \
  ./usr/share/applications/$APP_ID.desktop ./usr/share/metainfo/$APP_ID.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/$APP_ID.svg \
  ./usr/share/icons/hicolor/48x48/apps/$APP_ID.png \
  ./usr/share/man/man1/kinetra.1.gz ./usr/share/doc/kinetra/copyright; do
  grep -qxF "$path" "$WORK/contents" || die "the package lacks $path"
done

# Every dependency (one alternative of each) is installed on this machine,
# so the package would install here; the library list came from
# dpkg-shlibdeps, so the Qt libraries must be among them.
DEPENDS=$(dpkg-deb --field "$DEB" Depends)
grep -q "libqt5quick5" <<<"$DEPENDS" || die "Depends lacks the Qt Quick library: $DEPENDS"
grep -q "qml-module-qtquick-controls2" <<<"$DEPENDS" || die "Depends lacks the QML modules: $DEPENDS"
missing=()
IFS=',' read -ra groups <<<"$DEPENDS"
for group in "${groups[@]}"; do
  found=""
  IFS='|' read -ra alternatives <<<"$group"
  for alternative in "${alternatives[@]}"; do
    name=$(sed -E 's/\(.*\)//; s/:any//; s/[[:space:]]//g' <<<"$alternative")
    if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; then
      found=$name
      break
    fi
  done
  [ -n "$found" ] || missing+=("$(xargs <<<"$group")")
done
[ ${#missing[@]} -eq 0 ] || die "dependencies not installed here: ${missing[*]}"
echo "all ${#groups[@]} dependencies are installed"

step "dpkg-deb -x into a fresh tree"
dpkg-deb -x "$DEB" "$WORK/root"
APP="$WORK/root/usr/bin/kinetra"
[ -x "$APP" ] && [ -x "$WORK/root/usr/bin/kinetra-sim" ] || die "the unpacked tree has no programs"
if file "$APP" 2>/dev/null | grep -q "not stripped"; then
  die "the packaged kinetra is not stripped"
fi
got=$("$APP" --version)
[ "$got" = "Kinetra $VERSION" ] || die "unpacked kinetra --version printed '$got'"
echo "$got"
"$WORK/root/usr/bin/kinetra-sim" --help >/dev/null || die "unpacked kinetra-sim --help failed"

step "kinetra --demo under Xvfb for ${DEMO_SECONDS}s, then SIGTERM"
# A scratch home: the documents folder the program writes to is inside it.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb JACK_NO_START_SERVER=1
# The inner shell signals the program itself (not the X server under it)
# and hands back the program's own exit status.
set +e
timeout -s KILL $((DEMO_SECONDS + 60)) xvfb-run -a -s "-screen 0 1280x1024x24" \
  sh -c '"$1" --demo & pid=$!; sleep "$2"; kill -TERM "$pid"; wait "$pid"' \
  sh "$APP" "$DEMO_SECONDS" >"$WORK/demo.log" 2>&1
status=$?
set -e
if [ "$status" -ne 0 ]; then
  cat "$WORK/demo.log" >&2
  die "kinetra --demo exited with $status after SIGTERM (expected 0)"
fi

# SIGTERM saved the settings, the four simulated bands and the patch.
DOCS="$HOME/Documents/Vantor/Kinetra"
[ -f "$DOCS/settings.json" ] || die "no settings.json was saved in $DOCS"
bands=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$DOCS/devices.json" 2>/dev/null || echo 0)
[ "$bands" -eq 4 ] || die "devices.json holds $bands bands, expected the demo's 4"
ls "$DOCS"/presets/backup/*.json >/dev/null 2>&1 || die "no patch backup was written"
echo "exit 0; saved settings, $bands bands and a patch backup"

step "ok"
echo "package: $BUILD_DIR/package/$(basename "$DEB")"
