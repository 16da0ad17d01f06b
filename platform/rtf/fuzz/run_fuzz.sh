#!/bin/bash
# CI's fuzz step: builds rtf_fuzz with clang in its own build tree, replays the kept regression
# inputs, then fuzzes a fixed number of inputs (FUZZ_RUNS) from a fixed seed (FUZZ_SEED) over
# the fixed corpus and the regressions. The same figures give the same inputs, and so the same
# verdict, on any machine however fast; the time limit (FUZZ_HANG_SECONDS) only guards
# against a hang and fails when it is reached. Exits 77 (skipped) where clang or its libFuzzer
# runtime is missing; a finding exits 1 (libFuzzer's own default, 77, would read as a skip).
# Fuzzing for longer, outside CI: fuzz_long.sh.
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

# New corpus entries go to a folder emptied first, so every run starts from the kept seeds
# alone. What makes a run repeat: one worker; a fixed seed; no comparison operands fed back
# into the mutations (-use_cmp=0: they include addresses, which move from run to run); Qt's
# hashes unseeded; a fuzz build whose coverage leaves out the edges known to depend on
# addresses (see CMakeLists.txt); and, where the system allows it, the same addresses in
# every run (setarch -R), since a few loop counts in Qt's inlined code still follow them.
runs=${FUZZ_RUNS:-15000}
seed=${FUZZ_SEED:-1}
hang_seconds=${FUZZ_HANG_SECONDS:-300}
export QT_HASH_SEED=0
rm -rf "$build_dir/corpus"
mkdir -p "$build_dir/corpus" "$build_dir/artifacts"
same_addresses=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    same_addresses=(setarch "$(uname -m)" -R)
else
    echo "NOTE: setarch -R is not allowed here; the inputs may differ slightly from other runs"
fi
echo "Fuzzing $runs inputs from seed $seed (stopped as hung after $hang_seconds seconds)"
"${same_addresses[@]}" "$fuzzer" -runs="$runs" -seed="$seed" -use_cmp=0 -reload=0 -max_total_time="$hang_seconds" \
    -error_exitcode=1 -timeout=10 -rss_limit_mb=4096 -max_len=65536 -dict="$fuzz_dir/rtf.dict" \
    -artifact_prefix="$build_dir/artifacts/" -print_final_stats=1 \
    "$build_dir/corpus" "$fuzz_dir/corpus" "$fuzz_dir/regressions" 2>&1 | tee "$build_dir/fuzz.log"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || exit 1
executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build_dir/fuzz.log")
if [ "${executed:-0}" -lt "$runs" ]; then
    echo "FAILED: only ${executed:-0} of $runs inputs ran within $hang_seconds seconds: the" \
        "fuzz target hangs or has become far slower (see $build_dir/fuzz.log)"
    exit 1
fi
echo "Passed: $executed inputs, seed $seed"
