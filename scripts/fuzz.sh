#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in build-fuzz/ and runs each
# for the given number of seconds on a copy of its seed corpus; a crash, a leak or a sanitizer
# report fails the script, and the input that caused it is left in build-fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default 20 s each, every target)
#
# fuzz_mesh loads through the render library's model, which has the mesh reader program read
# each file: the system's assimp (5.2.5) crashes on some broken .x files, and such a crash
# must end the reader alone and come back as the loading failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_calculator fuzz_definition fuzz_settings fuzz_kanji fuzz_texture fuzz_mesh)
fi
build="$here/build-fuzz"
jobs=$(nproc)

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVARO_ASSERTS=ON \
    -DKIVARO_FUZZ=ON -DKIVARO_BUILD_TESTS=OFF -DKIVARO_BUILD_BENCH=OFF -DKIVARO_BUILD_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# the seed corpora are read only: new inputs go into a scratch copy
mkdir -p "$build/findings"
status=0
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    corpus="$build/corpus/$name"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp -r "$here/fuzz/corpus/$name/." "$corpus/"
    dictionary=()
    if [ -f "$here/fuzz/$name.dict" ]; then dictionary=(-dict="$here/fuzz/$name.dict"); fi
    # the loader's inputs build many small objects: a leak check after every new input would
    # take ten times the run itself, so its leaks are looked for once, when the run ends; the
    # render library's readers keep state of their own from their first use, which a check
    # after one input would take for a leak
    leaks=1
    case "$target" in fuzz_definition | fuzz_texture | fuzz_mesh) leaks=0 ;; esac
    # the loader's inputs reach about 15 000 features each: the entropic schedule's bookkeeping
    # of rare features (a search of its list for every feature of every run) took a fifth of a
    # 10 s run. Without it the run made 1180-1350 inputs a second instead of 1040-1150, and
    # reached the same coverage (3464-3485 edges against 3464-3494, three runs of each); the
    # plain schedule still keeps every input that adds coverage and mutates from those
    schedule=()
    case "$target" in fuzz_definition) schedule=(-entropic=0) ;; esac
    echo "fuzz: $target for ${seconds} s"
    # no fill of new allocations and short allocation stacks: a crash's own stack is whole, and
    # the run makes about twice the inputs
    if ! (cd "$build/findings" && ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16:max_malloc_fill_size=0:malloc_context_size=8 \
        LSAN_OPTIONS=suppressions=$here/scripts/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1 "$build/bin/$target" "${dictionary[@]}" "${schedule[@]}" -detect_leaks=$leaks \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 "$corpus" 2>"$build/findings/$target.log"); then
        tail -n 60 "$build/findings/$target.log"
        echo "fuzz: $target FAILED (inputs in $build/findings)"
        status=1
    else
        grep -E "^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb" \
            "$build/findings/$target.log" | sed "s/^/fuzz: $target /"
    fi
done
exit $status
