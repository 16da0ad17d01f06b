#!/bin/bash
# Builds rtf_fuzz with clang in its own build tree, replays the kept regression inputs, then
# fuzzes for about a minute. Exits 77 (skipped) where clang or its libFuzzer runtime is missing;
# a finding exits 1 (libFuzzer's own default, 77, would read as a skip).
set -u
source_dir=$1
build_dir=$2
fuzz_dir=$source_dir/platform/rtf/fuzz

runtime=$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null | head -n 1)
if ! command -v clang++ >/dev/null || [ -z "$runtime" ]; then
    echo "SKIP: clang++ or clang's libFuzzer runtime (libclang-rt-dev) is not installed"
    exit 77
fi

set -e
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLVANE_FUZZ_ONLY=ON >"$build_dir.configure.log" 2>&1 ||
    { cat "$build_dir.configure.log"; exit 1; }
cmake --build "$build_dir" --target rtf_fuzz -j2

fuzzer=$build_dir/platform/rtf/fuzz/rtf_fuzz
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

shopt -s nullglob
regressions=("$fuzz_dir"/regressions/*)
if [ ${#regressions[@]} -gt 0 ]; then
    echo "Replaying ${#regressions[@]} regression inputs"
    "$fuzzer" -error_exitcode=1 -timeout=10 -rss_limit_mb=4096 "${regressions[@]}"
fi

# New corpus entries go to the build tree, the kept seeds stay as they are. A fixed seed and a
# cap on the runs (about a minute's worth) make a CI run repeat what passed here; FUZZ_SEED=0
# lets libFuzzer pick a seed, and FUZZ_RUNS=-1 lifts the cap.
mkdir -p "$build_dir/corpus" "$build_dir/artifacts"
echo "Fuzzing for ${FUZZ_SECONDS:-60} seconds, seed ${FUZZ_SEED:-1}"
"$fuzzer" -max_total_time="${FUZZ_SECONDS:-60}" -error_exitcode=1 -timeout=10 -rss_limit_mb=4096 \
    -seed="${FUZZ_SEED:-1}" -runs="${FUZZ_RUNS:-50000}" \
    -max_len=65536 -dict="$fuzz_dir/rtf.dict" -artifact_prefix="$build_dir/artifacts/" \
    -print_final_stats=1 "$build_dir/corpus" "$fuzz_dir/corpus"
