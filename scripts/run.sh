#!/usr/bin/env bash
# Installs what is missing, builds in Release (no tests) and starts the desktop program
# Kivaro in the repository's root, with the bundled toys of items/ and data/. Arguments
# are passed on: field definition files to add once it runs, e.g. 'items\ball\ball.wtf'.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DKIVARO_BUILD_TESTS=OFF -DKIVARO_BUILD_BENCH=OFF
cd "$here"
exec build/bin/kivaro "$@"
