#!/usr/bin/env bash
# Installs what is missing, builds with assertions on and runs every test
# (GUI tests in a virtual X server, sound on OpenAL Soft's null driver).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" build-test -DCMAKE_BUILD_TYPE=Release -DKIVARO_ASSERTS=ON

# short fuzz runs on the seed corpora (KIVARO_FUZZ_SECONDS each, 0 skips them); a crash fails.
# They come first, so that the suite's summary closes the run.
fuzzSeconds=${KIVARO_FUZZ_SECONDS:-10}
if [ "$fuzzSeconds" -gt 0 ] && command -v clang++ >/dev/null; then
    "$here/scripts/fuzz.sh" "$fuzzSeconds"
fi

export ALSOFT_DRIVERS=null
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
cd "$here/build-test"
# -noreset: by default the X server resets whenever its last client leaves, and a test that
# connects during that reset is refused ("could not connect to display"); tests running side
# by side hit that now and then
xvfb-run -a -s "-noreset -screen 0 1920x1200x24" ctest --output-on-failure -j "$(nproc)" --timeout 300 "$@"

