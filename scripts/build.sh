#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh <build-dir> [extra cmake arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
if [ ! -f "$here/$dir/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$here/$dir" "${generator[@]}" "$@"
else
    cmake -S "$here" -B "$here/$dir" "$@" >/dev/null
fi
cmake --build "$here/$dir" -j "$(nproc)"
