#!/usr/bin/env bash
# Soak run of the headless simulator (not a test of the suite): the ten bundled toys for an
# hour of simulated time, every user item removed and the toys added again every 10 s, the
# state of every item reported at each refill. Prints the resident memory after the first
# refill and at the end, its peak, and the count of reported states holding a non-finite
# number (written as null).
#
#   scripts/soak.sh [SIMULATED_SECONDS] [BUILD_DIR]     (default 3600 s, build-test)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-3600}
build=${2:-build-test}
sim="$here/$build/bin/kivaro-sim"
if [ ! -x "$sim" ]; then
    "$here/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DKIVARO_ASSERTS=ON
fi

cd "$here"
mapfile -t toys < <(ls items/*/*.wtf | grep -v '^items/scenes/')
output=$(mktemp)
trap 'rm -f "$output"' EXIT
# 60 ticks a second: a refill and a report every 600 ticks
"$sim" --seconds "$seconds" --refill 600 --every 600 "${toys[@]}" >"$output" &
pid=$!

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true; }
startRss=""
lastRss=""
peakRss=0
started=$(date +%s)
while kill -0 "$pid" 2>/dev/null; do
    now=$(rss)
    if [ -n "$now" ]; then
        lastRss=$now
        if [ "$now" -gt "$peakRss" ]; then peakRss=$now; fi
        # the first refill has happened once the first report is out
        if [ -z "$startRss" ] && [ -s "$output" ]; then startRss=$now; fi
    fi
    sleep 1
done
status=0
wait "$pid" || status=$?
elapsed=$(($(date +%s) - started))

states=$(grep -c '"tick"' "$output" || true)
nonFinite=$(grep '"tick"' "$output" | grep -c 'null' || true)
echo "soak: ${seconds} s simulated in ${elapsed} s, exit status ${status}"
echo "soak: ${#toys[@]} toys, ${states} states reported, ${nonFinite} with a non-finite number"
echo "soak: resident memory after the first refill ${startRss:-?} kB, at the end ${lastRss:-?} kB, peak ${peakRss} kB"
[ "$status" -eq 0 ] && [ "$nonFinite" -eq 0 ]
