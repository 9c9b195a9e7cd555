#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts Kivaro with the bundled toys.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DKIVARO_BUILD_TESTS=OFF -DKIVARO_BUILD_BENCH=OFF
cd "$here"
if [ -x build/bin/Kivaro ]; then
    exec build/bin/Kivaro "$@"
fi
# until the desktop program exists, the headless simulator is the front end
echo "run: the desktop program is not built yet; starting the headless simulator kivaro-sim instead" >&2
if [ -x build/bin/kivaro-sim ]; then
    if [ $# -eq 0 ]; then
        exec build/bin/kivaro-sim --check
    fi
    exec build/bin/kivaro-sim "$@"
fi
echo "run: no front end is built yet" >&2
exit 1
