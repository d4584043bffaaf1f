#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU share and wake-ups of each thread of the running application under
# Xvfb, read from /proc/PID/task/*/stat and .../status.
#
#   bench/app_threads.sh [SECONDS] [idle|demo]
#
# Started as bench/app_resources.sh starts it (temporary HOME, a private
# JACK server on the dummy driver, CLOCK=off for clock sending off,
# XVFB_SERVERNUM, KINETRA_BIN). After SETTLE seconds (default 15) it reads
# every thread's CPU time and voluntary context switches (each one is the
# thread going to sleep, so one per wake-up) twice, SECONDS apart (default
# 20), and prints them per thread, busiest first. The main thread is the
# GUI thread; it carries the program's name.
set -euo pipefail

duration=${1:-20}
mode=${2:-idle}
settle=${SETTLE:-15}
here=$(cd "$(dirname "$0")" && pwd)
bin=${KINETRA_BIN:-$here/../build-bench/src/kinetra}
[[ -x $bin ]] || { echo "app_threads: no executable at $bin" >&2; exit 1; }
args=()
case $mode in
    idle) ;;
    demo) args=(--demo) ;;
    *) echo "usage: $0 [SECONDS] [idle|demo]" >&2; exit 2 ;;
esac
hz=$(getconf CLK_TCK)
xvfb_display=(-a)
[[ -n ${XVFB_SERVERNUM:-} ]] && xvfb_display=(-n "$XVFB_SERVERNUM")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kinetra-thr-XXXXXX")
mkdir -p "$tmp/run" && chmod 700 "$tmp/run"
if [[ ${CLOCK:-on} == off ]]; then
    mkdir -p "$tmp/Documents/Vantor/Kinetra"
    echo '{"sendingClock": false}' >"$tmp/Documents/Vantor/Kinetra/settings.json"
fi
server="${JACK_SERVER_PREFIX:-kinetra}-thr-$$"
JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -n "$server" -d dummy -r 44100 -p 64 \
    >"$tmp/jackd.log" 2>&1 &
jack_pid=$!
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.2; done

HOME=$tmp XDG_CONFIG_HOME=$tmp/.config XDG_DATA_HOME=$tmp/.local/share \
XDG_CACHE_HOME=$tmp/.cache XDG_RUNTIME_DIR=$tmp/run \
    xvfb-run "${xvfb_display[@]}" -s "-screen 0 1280x800x24" \
    bash -c 'echo $$ >"$0/pid"; exec "$@" >"$0/app.log" 2>&1' "$tmp" "$bin" "${args[@]}" &
runner=$!
for _ in $(seq 100); do [[ -s $tmp/pid ]] && break; sleep 0.1; done
pid=$(cat "$tmp/pid")
sleep "$settle"

# TID NAME TICKS SWITCHES, one line per thread.
snapshot() {
    local t
    for t in /proc/"$pid"/task/*; do
        [[ -r $t/stat ]] || continue
        local rest name ticks sw
        rest=$(sed -e 's/^.*) //' "$t/stat" 2>/dev/null) || continue
        name=$(tr ' ' '_' <"$t/comm" 2>/dev/null) || continue
        ticks=$(awk '{ print $12 + $13 }' <<<"$rest")
        sw=$(awk '/^voluntary_ctxt_switches:/ { print $2 }' "$t/status" 2>/dev/null) || continue
        echo "${t##*/} $name $ticks $sw"
    done
}
load=$(cut -d' ' -f1-3 /proc/loadavg)
before=$(snapshot)
t0=$(date +%s.%N)
sleep "$duration"
after=$(snapshot)
t1=$(date +%s.%N)
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")

kill -TERM "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
kill -TERM "$jack_pid" 2>/dev/null || true
wait "$jack_pid" 2>/dev/null || true
rm -rf "$tmp"

wall=$(bc -l <<<"$t1 - $t0")
printf '%s: kinetra %s, %d s after %d s start-up, MIDI clock %s, load %s, RSS %.1f MiB\n' \
    "$mode" "${args[*]:-(no receiver)}" "$duration" "$settle" "${CLOCK:-on}" "$load" \
    "$(bc -l <<<"$rss/1024")"
printf '  %-7s %-16s %8s %12s\n' tid thread 'CPU %' 'wake-ups/s'
awk -v hz="$hz" -v wall="$wall" -v main="$pid" '
    NR == FNR { t[$1] = $3; s[$1] = $4; next }
    ($1 in t) {
        printf "%s %s %.2f %.1f%s\n", $1, $2, 100 * ($3 - t[$1]) / hz / wall,
               ($4 - s[$1]) / wall, ($1 == main ? " (GUI)" : "")
    }
' <(echo "$before") <(echo "$after") | sort -k3,3gr |
    awk '{ tc += $3; tw += $4; printf "  %-7s %-16s %8.2f %12.1f %s\n", $1, $2, $3, $4, $5 }
         END { printf "  %-7s %-16s %8.2f %12.1f\n", "", "all threads", tc, tw }'
echo "repeat: CLOCK=${CLOCK:-on} $0 $duration $mode   (SETTLE=$settle)"
