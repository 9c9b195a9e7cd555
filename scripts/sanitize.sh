#!/usr/bin/env bash
# Builds every suite with AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/ and
# with ThreadSanitizer in build-tsan/, and runs each under the virtual X server as the test
# script does. OpenAL Soft's own mixer thread is outside our code: TSan's reports from it are
# suppressed (scripts/tsan.supp), as are the threads of Qt, GLib and Mesa. Under ASan, Mesa's
# graphics driver is kept loaded to the end (scripts/keep_dri_loaded.c).
#
#   scripts/sanitize.sh [asan|tsan]...     (default both; further ctest arguments after --)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kinds=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do kinds+=("$1"); shift; done
if [ $# -gt 0 ]; then shift; fi
if [ ${#kinds[@]} -eq 0 ]; then kinds=(asan tsan); fi

"$here/scripts/setup.sh"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
export ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
status=0
for kind in "${kinds[@]}"; do
    preload=""
    case "$kind" in
    asan)
        flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        export LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp:print_suppressions=0
        # the graphics driver stays loaded to the end, so that the leak check still sees what
        # its globals hold (scripts/keep_dri_loaded.c); the preload comes before the ASan
        # runtime, which only dlclose is taken from
        mkdir -p "$here/build-$kind"
        cc -shared -fPIC -O2 -o "$here/build-$kind/keep_dri_loaded.so" "$here/scripts/keep_dri_loaded.c" -ldl
        export ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0
        preload="$here/build-$kind/keep_dri_loaded.so"
        ;;
    tsan)
        flags="-fsanitize=thread -fno-omit-frame-pointer"
        export TSAN_OPTIONS="suppressions=$here/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
        ;;
    *)
        echo "sanitize: unknown kind $kind (asan or tsan)" >&2
        exit 2
        ;;
    esac
    # GCC's flow analysis under the sanitizers reports std::function inside std::regex as
    # maybe uninitialized, which it is not
    flags="$flags -Wno-maybe-uninitialized"
    build="$here/build-$kind"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVARO_ASSERTS=ON \
        -DKIVARO_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" "${launcher[@]}" >/dev/null
    cmake --build "$build" -j "$(nproc)"
    echo "sanitize: $kind suites"
    if ! (cd "$build" && LD_PRELOAD="$preload" xvfb-run -a -s "-noreset -screen 0 1920x1200x24" ctest --output-on-failure \
        -j "$(nproc)" --timeout 900 "$@"); then
        echo "sanitize: $kind FAILED"
        status=1
    fi
done
exit $status
