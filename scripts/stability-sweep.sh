#!/usr/bin/env bash
# Stability sweep of the world step (not a test of the suite): the ten bundled toys in one
# world, added in name order and in reverse order, at every corner of the ranges the toolbox
# allows (time step 0.0001 and 0.01 s, gravity 0 and 4 G, restitution 0 and 1, friction 0
# and 1). For each run it prints the count of reported states holding a non-finite number
# (written as null), the highest speed reported, the energy (kinetic, potential and the elastic
# energy of the contact springs) one second after the start, the highest energy after that with its
# gain, and how often the step's safeguards acted.
#
#   scripts/stability-sweep.sh [SIMULATED_SECONDS] [BUILD_DIR]     (default 10 s, build-test)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
build=${2:-build-test}
sim="$here/$build/bin/kivaro-sim"
if [ ! -x "$sim" ]; then
    "$here/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DKIVARO_ASSERTS=ON
fi

cd "$here"
mapfile -t toys < <(ls items/*/*.wtf | grep -v '^items/scenes/')
mapfile -t reversed < <(ls items/*/*.wtf | grep -v '^items/scenes/' | sort -r)

# one run's report lines (every 6 ticks) to one summary line
summarize() {
    awk '
        function number(key,   at, rest) {
            at = index($0, "\"" key "\":")
            if (at == 0) return ""
            rest = substr($0, at + length(key) + 3)
            return rest + 0
        }
        /"name":/ {
            if (index($0, "null") > 0) { nonFinite++; next }
            at = index($0, "\"velocity\":[")
            split(substr($0, at + 12), v, /[],]/)
            speed = sqrt(v[1] * v[1] + v[2] * v[2] + v[3] * v[3])
            if (speed > topSpeed) topSpeed = speed
            next
        }
        /"energy":/ {
            tick = number("tick"); energy = number("energy")
            if (tick == 60) reference = energy
            if (tick > 60 && (highest == "" || energy > highest)) highest = energy
            counts = sprintf("softened %d friction %d spin %d release %d removed %d", number("softened_contacts"),
                             number("limited_friction"), number("limited_spin"), number("limited_release"),
                             number("removed"))
        }
        END {
            gain = reference != 0 ? 100 * (highest - reference) / (reference < 0 ? -reference : reference) : 0
            printf "non-finite %d  top speed %.3g m/s  energy at 1 s %.6g J  highest after %.6g J (%+.2f %%)  %s\n",
                   nonFinite, topSpeed, reference, highest, gain, counts
        }'
}

for step in ${STEPS:-0.0001 0.01}; do
    for gravity in 0 4; do
        for restitution in 0 1; do
            for friction in 0 1; do
                for order in name reverse; do
                    if [ "$order" = name ]; then fields=("${toys[@]}"); else fields=("${reversed[@]}"); fi
                    printf 'step %-6s gravity %s restitution %s friction %s %-7s ' "$step" "$gravity" \
                        "$restitution" "$friction" "$order"
                    "$sim" --seconds "$seconds" --every 6 --energy --step "$step" --gravity "$gravity" \
                        --restitution "$restitution" --friction "$friction" "${fields[@]}" | summarize
                done
            done
        done
    done
done
