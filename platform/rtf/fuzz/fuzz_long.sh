#!/bin/bash
# usage: platform/rtf/fuzz/fuzz_long.sh SECONDS [FOREIGN_RTF_DIR] [WORK_DIR]
#        platform/rtf/fuzz/fuzz_long.sh --minimize FINDING [WORK_DIR]
#
# Fuzzes the RTF reader for as long as asked, outside CI. The seeds are the kept corpus, the
# regression inputs and other programs' RTF (FOREIGN_RTF_DIR, for instance the rtf/ folder
# that collect_foreign_rtf.sh fills). One worker in a process of its own goes on after a
# finding (a crash, a sanitizer report, or a document whose write-read-write is not stable),
# keeping each one in WORK_DIR/findings/. WORK_DIR (build-test/rtf-fuzz-long by default) keeps
# its corpus from one run to the next; FUZZ_BUILD_DIR names the clang build to use (default
# WORK_DIR/clang-build). Figures at the end: runs, time, findings.
#
# --minimize FINDING shrinks a finding to WORK_DIR/findings/FINDING.min; when it reads as
# the fault, keep it in regressions/ under a name that says the fault, and fix it.
set -euo pipefail
source_dir=$(realpath "$(dirname "$0")/../../..")
fuzz_dir=$source_dir/platform/rtf/fuzz
[ $# -ge 1 ] || { sed -n 2,3p "$0"; exit 2; }

if [ "$1" = --minimize ]; then
    [ $# -ge 2 ] || { sed -n 3p "$0"; exit 2; }
    finding=$(realpath "$2")
    work=$(realpath -m "${3:-$source_dir/build-test/rtf-fuzz-long}")
else
    seconds=$1
    foreign=${2:-}
    work=$(realpath -m "${3:-$source_dir/build-test/rtf-fuzz-long}")
fi

runtime=$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null | head -n 1)
if ! command -v clang++ >/dev/null || [ -z "$runtime" ]; then
    echo "clang++ or clang's libFuzzer runtime is missing: scripts/install-deps --tests"
    exit 2
fi
build_dir=$(realpath -m "${FUZZ_BUILD_DIR:-$work/clang-build}")
mkdir -p "$work/corpus" "$work/findings"
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLVANE_FUZZ_ONLY=ON >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
cmake --build "$build_dir" --target rtf_fuzz -j2 >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; exit 1; }
# The run uses a copy, which a later build does not replace under it.
fuzzer=$work/rtf_fuzz
cp "$build_dir/platform/rtf/fuzz/rtf_fuzz" "$fuzzer"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

if [ -n "${finding:-}" ]; then
    "$fuzzer" -minimize_crash=1 -runs=20000 -timeout=10 \
        -exact_artifact_path="$work/findings/$(basename "$finding").min" "$finding"
    echo "Minimized: $work/findings/$(basename "$finding").min"
    exit 0
fi

seeds=("$work/corpus" "$fuzz_dir/corpus" "$fuzz_dir/regressions")
[ -n "$foreign" ] && seeds+=("$(realpath "$foreign")")
before=$(find "$work/findings" -type f ! -name "*.min" | wc -l)
start=$(date +%s)
echo "Fuzzing for $seconds seconds from $(date), seeds: ${seeds[*]}"
set +e
# -fork=1: the fuzzing runs in a child that is started again after a finding, so one finding
# does not end the run.
"$fuzzer" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=131072 \
    -dict="$fuzz_dir/rtf.dict" -artifact_prefix="$work/findings/" -print_final_stats=1 \
    "${seeds[@]}" 2>&1 | tee "$work/fuzz.log" | grep --line-buffered -E '^#|INFO: (fuzzed|exiting)|ERROR|==ERROR|not stable|Done'
set -e
elapsed=$(($(date +%s) - start))
after=$(find "$work/findings" -type f ! -name "*.min" | wc -l)
runs=$(grep -oE '^#[0-9]+' "$work/fuzz.log" | tail -n 1 | tr -d '#' || true)
echo "Figures: ${runs:-0} runs in $elapsed seconds; $((after - before)) new findings in $work/findings"
