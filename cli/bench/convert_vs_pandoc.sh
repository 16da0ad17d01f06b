#!/usr/bin/env bash
# folvane-convert against pandoc on the same real documentation pages, in the same run: the time
# of each and its peak memory (the sum of the resident sizes of the program and all its child
# processes, the engine's renderers included, sampled every 50 ms). Not part of the test suite.
#
# usage: cli/bench/convert_vs_pandoc.sh [BUILD_DIR] [PAGES]
#   BUILD_DIR  where folvane-convert was built (default: build-test)
#   PAGES      how many pages (default: 60)
# Installs python3-doc, lua5.1-doc and pandoc when missing (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-test}
count=${2:-60}
convert=$build/cli/folvane-convert
[[ -x $convert ]] || { echo "build folvane-convert first: $convert" >&2; exit 2; }

scripts/install-deps --only python3-doc lua5.1-doc pandoc

# Real pages of mixed sizes: Lua's manual pages and the Python library reference, in a fixed
# order so that runs compare.
mapfile -t pages < <(
    { find /usr/share/doc/lua5.1-doc -name '*.html' | sort
      find /usr/share/doc/python3*/html/library -maxdepth 1 -name '*.html' | sort; } |
        head -n "$count")
[[ ${#pages[@]} -eq $count ]] || { echo "found only ${#pages[@]} pages" >&2; exit 1; }
bytes=$(cat "${pages[@]}" | wc -c)

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Sum of RSS (KiB) of a process and all its descendants.
tree_rss() {
    ps -e -o pid=,ppid=,rss= | awk -v root="$1" '
        { parent[$1] = $2; rss[$1] = $3 }
        END {
            total = 0
            for (p in rss) {
                for (q = p; q != "" && q != 0 && q != 1; q = parent[q])
                    if (q == root) { total += rss[p]; break }
            }
            print total
        }'
}

# Runs a command, prints "seconds peak_KiB".
measure() {
    local start end peak=0 rss pid
    start=$(date +%s.%N)
    "$@" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        rss=$(tree_rss "$pid")
        ((rss > peak)) && peak=$rss
        sleep 0.05
    done
    wait "$pid" || echo "warning: $1 ended with status $?" >&2
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v p="$peak" 'BEGIN { printf "%.3f %d\n", e - s, p }'
}

jobs=$(nproc)
echo "$count pages, $((bytes / 1024)) KiB of HTML; $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
read -r folvane_s folvane_kib < <(measure "$convert" -q -j "$jobs" -o "$out/folvane.rtf" \
    "${pages[@]}" 2>"$out/folvane.err")
read -r serial_s serial_kib < <(measure "$convert" -q -j 1 -o "$out/folvane-j1.rtf" \
    "${pages[@]}" 2>"$out/folvane-j1.err")
read -r pandoc_s pandoc_kib < <(measure pandoc -f html -t rtf -s -o "$out/pandoc.rtf" \
    "${pages[@]}" 2>"$out/pandoc.err")
# Failed pages are left out of the output, so runs with different failures differ.
grep -h "failed:" "$out/folvane.err" "$out/folvane-j1.err" >&2 || true

cmp -s "$out/folvane.rtf" "$out/folvane-j1.rtf" && same=yes || same=NO
printf '%-28s %9s %12s %12s %8s\n' "" "time (s)" "peak (MiB)" "RTF (KiB)" "failed"
printf '%-28s %9.2f %12d %12d %8d\n' "folvane-convert -j $jobs" "$folvane_s" \
    $((folvane_kib / 1024)) $(($(stat -c %s "$out/folvane.rtf") / 1024)) \
    "$(grep -c "failed:" "$out/folvane.err" || true)"
printf '%-28s %9.2f %12d %12d %8d\n' "folvane-convert -j 1" "$serial_s" $((serial_kib / 1024)) \
    $(($(stat -c %s "$out/folvane-j1.rtf") / 1024)) \
    "$(grep -c "failed:" "$out/folvane-j1.err" || true)"
printf '%-28s %9.2f %12d %12d %8s\n' "pandoc (one call)" "$pandoc_s" $((pandoc_kib / 1024)) \
    $(($(stat -c %s "$out/pandoc.rtf") / 1024)) "-"
awk -v f="$folvane_s" -v p="$pandoc_s" -v j="$jobs" \
    'BEGIN { printf "folvane-convert -j %d takes %.2f of pandoc'"'"'s time (aim: at most 0.5)\n", j, f / p }'
echo "-j $jobs and -j 1 wrote the same bytes: $same"
