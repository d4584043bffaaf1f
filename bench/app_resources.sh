#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU share and resident memory of the running application under Xvfb,
# read from /proc/PID/stat and /proc/PID/status.
#
#   bench/app_resources.sh [SECONDS] [idle|demo|both]
#
# idle: plain `kinetra`, no receiver; demo: `kinetra --demo`, four simulated
# bands streaming. Each run gets a temporary HOME and a private JACK server on
# the dummy driver (44.1 kHz, 64-sample blocks) so that the audio callback
# runs as on a desktop. After SETTLE seconds of start-up (default 15) the
# process is sampled every SAMPLE seconds (default 5) for SECONDS (default
# 60): CPU share of one core over the whole window, resident memory at the
# start and end of the window, its peak, and a least-squares growth rate.
# The binary is $KINETRA_BIN, else build-bench/src/kinetra. With CLOCK=off the
# run starts with MIDI clock sending off (a stored setting), so that the clock
# button's lamp does not blink on every beat. XVFB_SERVERNUM picks the X
# display number (default: the first free one). JACK_PERIOD sets the JACK
# server's block size (default 64 samples). With THREADS=1 each thread's
# CPU share and wake-ups per second (voluntary context switches, from
# /proc/PID/task/TID) over the same window are listed too.
set -euo pipefail

duration=${1:-60}
modes=${2:-both}
settle=${SETTLE:-15}
sample=${SAMPLE:-5}
here=$(cd "$(dirname "$0")" && pwd)
bin=${KINETRA_BIN:-$here/../build-bench/src/kinetra}
[[ -x $bin ]] || { echo "app_resources: no executable at $bin (build the kinetra target)" >&2; exit 1; }
case $modes in
    both) modes="idle demo" ;;
    idle|demo) ;;
    *) echo "usage: $0 [SECONDS] [idle|demo|both]" >&2; exit 2 ;;
esac
hz=$(getconf CLK_TCK)
xvfb_display=(-a)
[[ -n ${XVFB_SERVERNUM:-} ]] && xvfb_display=(-n "$XVFB_SERVERNUM")

cpu_ticks() { # utime + stime of PID (fields 14 and 15, after the command name)
    local rest
    rest=$(sed -e 's/^.*) //' "/proc/$1/stat")
    awk '{ print $12 + $13 }' <<<"$rest"
}
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
hwm_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }
threads() { awk '/^Threads:/ { print $2 }' "/proc/$1/status"; }
task_table() { # one line per thread: TID ticks voluntary-switches name
    local task
    for task in /proc/"$1"/task/*; do
        [[ -r $task/stat ]] || continue
        local rest name sw
        rest=$(sed -e 's/^.*) //' "$task/stat" 2>/dev/null) || continue
        name=$(tr ' ' '_' <"$task/comm" 2>/dev/null) || continue
        [[ ${task##*/} == "$1" ]] && name="$name(main)"
        sw=$(awk '/^voluntary_ctxt_switches:/ { print $2 }' "$task/status" 2>/dev/null) || continue
        awk -v tid="${task##*/}" -v sw="$sw" -v name="$name" '{ print tid, $12 + $13, sw, name }' <<<"$rest"
    done
}

run_mode() {
    local mode=$1 args=()
    [[ $mode == demo ]] && args=(--demo)
    local tmp
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/kinetra-res-XXXXXX")
    mkdir -p "$tmp/run" && chmod 700 "$tmp/run"
    if [[ ${CLOCK:-on} == off ]]; then
        mkdir -p "$tmp/Documents/Vantor/Kinetra"
        echo '{"sendingClock": false}' >"$tmp/Documents/Vantor/Kinetra/settings.json"
    fi

    local server="kinetra-res-$$-$mode"
    JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -n "$server" -d dummy -r 44100 -p "${JACK_PERIOD:-64}" \
        >"$tmp/jackd.log" 2>&1 &
    local jack_pid=$!
    running_jack=$jack_pid
    export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
    for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.2; done

    HOME=$tmp XDG_CONFIG_HOME=$tmp/.config XDG_DATA_HOME=$tmp/.local/share \
    XDG_CACHE_HOME=$tmp/.cache XDG_RUNTIME_DIR=$tmp/run \
        xvfb-run "${xvfb_display[@]}" -s "-screen 0 1280x800x24" \
        bash -c 'echo $$ >"$0/pid"; exec "$@" >"$0/app.log" 2>&1' "$tmp" "$bin" "${args[@]}" &
    local runner=$!
    for _ in $(seq 100); do [[ -s $tmp/pid ]] && break; sleep 0.1; done
    local pid
    pid=$(cat "$tmp/pid")
    sleep "$settle"
    if [[ ! -d /proc/$pid ]]; then
        echo "app_resources: kinetra ($mode) exited during start-up; log:" >&2
        cat "$tmp/app.log" >&2
        kill "$jack_pid" 2>/dev/null || true
        return 1
    fi
    local jack_client=no
    jack_lsp 2>/dev/null | grep -qiv '^system:' && jack_client=yes

    local t0 c0 r0 rmax samples="" elapsed=0
    local tasks0=""
    [[ ${THREADS:-0} == 1 ]] && tasks0=$(task_table "$pid")
    t0=$(date +%s.%N); c0=$(cpu_ticks "$pid"); r0=$(rss_kib "$pid"); rmax=$r0
    samples="0 $r0"
    while (( elapsed < duration )); do
        sleep "$sample"
        elapsed=$(( elapsed + sample ))
        [[ -d /proc/$pid ]] || { echo "app_resources: kinetra ($mode) exited" >&2; return 1; }
        local r
        r=$(rss_kib "$pid")
        (( r > rmax )) && rmax=$r
        samples+=$'\n'"$elapsed $r"
        if (( elapsed % 60 == 0 )); then
            printf '  [%s] %4d s  RSS %.1f MiB\n' "$mode" "$elapsed" "$(bc -l <<<"$r/1024")"
        fi
    done
    local t1 c1 r1 hwm nthreads
    t1=$(date +%s.%N); c1=$(cpu_ticks "$pid"); r1=$(rss_kib "$pid"); hwm=$(hwm_kib "$pid")
    nthreads=$(threads "$pid")
    local tasks1=""
    [[ ${THREADS:-0} == 1 ]] && tasks1=$(task_table "$pid")

    kill -TERM "$pid" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
    kill -TERM "$jack_pid" 2>/dev/null || true
    wait "$jack_pid" 2>/dev/null || true
    running_jack=

    local cpu slope
    cpu=$(bc -l <<<"100 * ($c1 - $c0) / $hz / ($t1 - $t0)")
    # MiB per hour from a least-squares line through the samples.
    slope=$(awk '{ n++; sx += $1; sy += $2; sxx += $1 * $1; sxy += $1 * $2 }
                 END { d = n * sxx - sx * sx; if (d == 0) print 0;
                       else printf "%.2f", (n * sxy - sx * sy) / d * 3600 / 1024 }' <<<"$samples")
    printf '%s: kinetra %s for %d s after %d s start-up (JACK client: %s, %s-sample blocks, threads: %s, MIDI clock %s)\n' \
        "$mode" "${args[*]:-(no receiver)}" "$duration" "$settle" "$jack_client" "${JACK_PERIOD:-64}" "$nthreads" "${CLOCK:-on}"
    printf '  CPU %.2f%% of one core\n' "$cpu"
    printf '  RSS start %.1f MiB  end %.1f MiB  peak in window %.1f MiB  VmHWM %.1f MiB\n' \
        "$(bc -l <<<"$r0/1024")" "$(bc -l <<<"$r1/1024")" "$(bc -l <<<"$rmax/1024")" \
        "$(bc -l <<<"$hwm/1024")"
    printf '  growth end-start %+.2f MiB; fitted %s MiB/hour\n' \
        "$(bc -l <<<"($r1-$r0)/1024")" "$slope"
    if [[ ${THREADS:-0} == 1 ]]; then
        printf '  per thread (CPU %% of one core, wake-ups per second):\n'
        awk -v hz="$hz" -v dt="$(bc -l <<<"$t1 - $t0")" '
            NR == FNR { c[$1] = $2; w[$1] = $3; next }
            { dc = $2 - ($1 in c ? c[$1] : 0); dw = $3 - ($1 in w ? w[$1] : 0)
              printf "    %-18s %6.2f %%  %7.1f /s\n", $4, 100 * dc / hz / dt, dw / dt }' \
            <(echo "$tasks0") <(echo "$tasks1") | sort -k2 -rn
    fi
    rm -rf "$tmp"
}

# A run that fails half-way (say, the X display is taken) must not leave
# its JACK server behind.
running_jack=
trap '[[ -n $running_jack ]] && kill -TERM "$running_jack" 2>/dev/null; true' EXIT
for m in $modes; do
    run_mode "$m"
done
echo "repeat: CLOCK=${CLOCK:-on} $0 $duration ${2:-both}   (SETTLE=$settle SAMPLE=$sample)"
