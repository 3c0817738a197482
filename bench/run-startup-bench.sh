#!/bin/bash
# run-startup-bench.sh [BUILD_DIR [RUNS]]: starts the monitor RUNS times (default 5) on a
# private X server (Xvfb, no window manager) and prints the time from each start until its
# window is mapped and viewable, polled with xwininfo (a few milliseconds of resolution).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-5}
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null ||
    { echo "$0: needs Xvfb and xwininfo (Debian: xvfb x11-utils)" >&2; exit 2; }

# Microseconds since the epoch, without starting a process.
now() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# The server picks a free display itself and names it once it accepts clients, so servers
# started beside this one cannot take the same display. Without -noreset the server resets
# when its last client leaves, and refuses the next program while it does.
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for ((tries = 0; tries < 200; tries++)); do [[ -s $work/display ]] && break; sleep 0.05; done
[[ -s $work/display ]] || { echo "$0: Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -1 "$work/display")

# Seconds from starting the program until its window is viewable; fails after 10 s.
one_start() {
    local start=$(now) pid shown=
    QT_QPA_PLATFORM=xcb "$build/monitor/tarvik-broker-servicecheck" 2>/dev/null &
    pid=$!
    while (($(now) - start < 10000000)); do
        if xwininfo -name "Broker Services Monitor" 2>/dev/null | grep -q IsViewable; then
            shown=$(now)
            break
        fi
        sleep 0.005
    done
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    [[ -n $shown ]] || { echo "$0: the window did not appear within 10 s" >&2; return 1; }
    awk -v us=$((shown - start)) 'BEGIN { printf "%.3f\n", us / 1e6 }'
}

times=()
for ((run = 0; run < runs; run++)); do times+=("$(one_start)"); done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
echo "start to window viewable: median $median s of $runs runs (in order: ${times[*]} s)"
