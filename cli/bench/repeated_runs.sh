#!/usr/bin/env bash
# folvane-convert run over and over on the same real pages, to see whether a run ever stalls:
# each run's time, whether any page failed, and whether every run wrote the same bytes. Not part
# of the test suite: it prints figures and asserts nothing.
#
# usage: cli/bench/repeated_runs.sh [BUILD_DIR] [RUNS] [JOBS] [PAGES_FILE]
#   BUILD_DIR   where folvane-convert was built (default: build-test)
#   RUNS        how many runs in a row (default: 100)
#   JOBS        -j for every run (default: 2)
#   PAGES_FILE  the pages, one absolute path a line (default: the 60 pages that
#               cli/bench/convert_vs_pandoc.sh converts, which it installs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-test}
runs=${2:-100}
jobs=${3:-2}
list=${4:-}
convert=$build/cli/folvane-convert
[[ -x $convert ]] || { echo "build folvane-convert first: $convert" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if [[ -z $list ]]; then
    scripts/install-deps --only python3-doc lua5.1-doc
    # head closes the pipe early, which pipefail would count as find's failure.
    { find /usr/share/doc/lua5.1-doc -name '*.html' | sort
      find /usr/share/doc/python3*/html/library -maxdepth 1 -name '*.html' | sort; } |
        head -n 60 >"$out/pages.txt" || true
    [[ $(wc -l <"$out/pages.txt") -eq 60 ]] || { echo "found too few pages" >&2; exit 1; }
    list=$out/pages.txt
fi
echo "$(wc -l <"$list") pages, $runs runs of -j $jobs; $(nproc) cores;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"

: >"$out/times"
failed_runs=0
for ((i = 1; i <= runs; ++i)); do
    start=$(date +%s.%N)
    status=0
    "$convert" -q -j "$jobs" -o "$out/run.rtf" - <"$list" 2>"$out/run.err" || status=$?
    end=$(date +%s.%N)
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    echo "$seconds" >>"$out/times"
    sum=$(sha256sum "$out/run.rtf" | cut -d' ' -f1)
    echo "$sum" >>"$out/sums"
    if [[ $status -ne 0 ]]; then
        ((++failed_runs))
        echo "run $i: status $status, $seconds s:" >&2
        cat "$out/run.err" >&2
    fi
    printf 'run %3d: %7s s  status %d  %s\n' "$i" "$seconds" "$status" "${sum:0:12}"
done

sort -n "$out/times" | awk -v failed="$failed_runs" '
    { t[NR] = $1 }
    END {
        median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        over = 0
        for (i = 1; i <= NR; ++i) if (t[i] > 1.3 * median) ++over
        printf "runs %d, median %.2f s, fastest %.2f s, slowest %.2f s (%.2f of the median)\n",
            NR, median, t[1], t[NR], t[NR] / median
        printf "runs over 1.3 times the median: %d; runs with a failed page: %d\n", over, failed
    }'
echo "distinct outputs: $(sort -u "$out/sums" | wc -l)"
