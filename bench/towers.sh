#!/usr/bin/env bash
# The towers comparison: Kivaro (kivaro-sim --timing) with one and with two workers, ODE and
# Bullet on the same scene (bench/towers, bench/peers/TowersPeer.cpp), step 0.0015 s, 2 s of
# ticks (1440 steps). Each round runs the four side by side for every N; the table shows the
# median over the rounds of the rates (million body-steps per second) and of each round's
# ratios, so that a machine whose load changes between rounds still gives fair ratios.
#
#   bench/towers.sh [build folder] [rounds] [N...]   (default: build-test 3 500 1000 2000 4000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-test}
rounds=${2:-3}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(500 1000 2000 4000)
bin=$build/bin
for program in kivaro-sim towers-ode towers-bullet; do
    if [ ! -x "$bin/$program" ]; then
        echo "towers: $bin/$program is missing (the peers need libode-dev and libbullet-dev)" >&2
        exit 2
    fi
done

rate() { sed -n 's/.*"body_steps_per_second":\([0-9.e+]*\).*/\1/p' | tail -n 1; }
kivaro() {
    "$bin/kivaro-sim" --root "$here/bench/towers" --threads "$2" --seconds 2 --step 0.0015 --timing \
        "items/towers/towers$1.wtf" | rate
}
peer() { "$bin/towers-$2" --spheres "$1" --seconds 2 --step 0.0015 | rate; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)   processors: $(nproc)   rounds: $rounds"
results=$(mktemp)
trap 'rm -f "$results"' EXIT
ceilings=""
trips=""
for ((round = 1; round <= rounds; ++round)); do
    # what two threads sharing no data gain over one on this machine now (a virtual machine's
    # second processor may be far slower while both are busy)
    if [ -x "$bin/thread-ceiling" ]; then
        ceiling=$("$bin/thread-ceiling")
        ceilings="$ceilings $(echo "$ceiling" | sed -n 's/.*"ceiling":\([0-9.]*\).*/\1/p')"
        trips="$trips $(echo "$ceiling" | sed -n 's/.*"round_trip_ns":\([0-9.]*\).*/\1/p')"
    fi
    for n in "${sizes[@]}"; do
        echo "$n $(kivaro "$n" 1) $(kivaro "$n" 2) $(peer "$n" ode) $(peer "$n" bullet)" >>"$results"
    done
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$ceilings" ]; then
    echo "two threads sharing no data ran at$ceilings times one thread's speed (thread-ceiling, one per round): the most k2/k1 can reach here"
    echo "a cache line went from one thread to the other and back in$trips ns (a virtual machine may show about 100 at one time and 500 at another; every hand-over of a step, and every item read across a share's border, pays it)"
fi

awk -v sizes="${sizes[*]}" '
function median(list, count,    i, j, t, a) {
    split(list, a, " ")
    for (i = 1; i <= count; ++i) for (j = i + 1; j <= count; ++j) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return count % 2 ? a[(count + 1) / 2] : (a[count / 2] + a[count / 2 + 1]) / 2
}
{
    n = $1; c[n]++
    k1[n] = k1[n] " " $2 / 1e6; k2[n] = k2[n] " " $3 / 1e6; od[n] = od[n] " " $4 / 1e6; bu[n] = bu[n] " " $5 / 1e6
    r1[n] = r1[n] " " $2 / $4; r2[n] = r2[n] " " $3 / $2; r3[n] = r3[n] " " $2 / $5
}
END {
    printf "%6s %10s %10s %10s %10s   %9s %9s %12s\n", "N", "kivaro-1", "kivaro-2", "ode", "bullet", "k1/ode", "k2/k1", "k1/bullet"
    split(sizes, order, " ")
    for (i = 1; i in order; ++i) {
        n = order[i]
        printf "%6d %10.3f %10.3f %10.3f %10.3f   %9.2f %9.2f %12.2f\n", n, median(k1[n], c[n]), median(k2[n], c[n]),
            median(od[n], c[n]), median(bu[n], c[n]), median(r1[n], c[n]), median(r2[n], c[n]), median(r3[n], c[n])
    }
    print "(rates: million body-steps per second, medians over the rounds; ratios: medians of each round'"'"'s ratios)"
}' "$results"
