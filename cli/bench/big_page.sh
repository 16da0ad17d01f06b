#!/usr/bin/env bash
# A page that is only big, between two small ones: folvane-convert's time and peak memory, and
# whether the big page came out whole (its first, middle and last sections) and the page after it
# too; then the cost of its RTF in the window's result pane. With realrun_bench built, the
# window's run over the same list as well. Not part of the
# test suite, whose big page is smaller: it prints figures, and fails only when a page is lost.
#
# usage: cli/bench/big_page.sh [BUILD_DIR] [MEGABYTES] [JOBS] [WORDS]
#   BUILD_DIR   where folvane-convert was built (default: build-test)
#   MEGABYTES   the big page's size (default: 40)
#   JOBS        -j of folvane-convert (default: 2)
#   WORDS       words of text added to each section's paragraph (default: 0, about 20 bytes
#               an element; 150 gives about 100, as long documentation pages have)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-test}
megabytes=${2:-40}
jobs=${3:-2}
words=${4:-0}
convert=$build/cli/folvane-convert
[[ -x $convert ]] || { echo "build folvane-convert first: $convert" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The page of the tests' own big page (platform/testsupport/hostileentries.h), to the size asked.
sections=$(python3 - "$out/big.html" "$megabytes" "$words" <<'EOF'
import sys
path, target = sys.argv[1], int(float(sys.argv[2]) * 1024 * 1024)
filler = ' text' * int(sys.argv[3])
parts = ['<!DOCTYPE html><html><head><meta charset="utf-8"><title>Big</title></head>'
         '<body><h1>Heading Big</h1>']
size, i = len(parts[0]), 0
while size < target:
    n = str(i)
    s = ('<h2>Section ' + n + '</h2><p>Paragraph ' + n + filler + ' with <b>bold ' + n +
         '</b>, <i>slanted</i> and <a href="https://example.org/' + n + '">a link</a>.</p>'
         '<ul><li>item ' + n + ' a</li><li>item ' + n + ' b</li></ul><table><tr><td>cell ' + n +
         '</td><td>more</td></tr></table>')
    parts.append(s)
    size += len(s)
    i += 1
parts.append('<p>Last words of Big</p></body></html>')
open(path, 'w').write(''.join(parts))
print(i)
EOF
)
for word in Before After; do
    printf '<!DOCTYPE html><title>%s</title><h1>Heading %s</h1><p>Words of %s.</p>\n' \
        "$word" "$word" "$word" >"$out/$word.html"
done
printf '%s\n' "$out/Before.html" "$out/big.html" "$out/After.html" >"$out/list.txt"
echo "big page: $(du -m "$out/big.html" | cut -f1) MB, $sections sections, $((sections * 12)) elements"

# Whether the text holds every marker, in order.
check() {
    python3 - "$1" "$sections" <<'EOF'
import sys
text, sections = open(sys.argv[1], errors='replace').read(), int(sys.argv[2])
markers = ['Heading Before', 'Heading Big', 'Section 0', 'Section %d' % (sections // 2),
           'Section %d' % (sections - 1), 'Last words of Big', 'Heading After', 'Words of After']
at = 0
for m in markers:
    found = text.find(m, at)
    if found < 0:
        print('  missing or out of order:', m)
        sys.exit(1)
    at = found + len(m)
print('  whole: every marker, in order')
EOF
}

echo "folvane-convert -j $jobs:"
status=0
/usr/bin/time -f '  %e s, peak resident size of its largest process %M KiB' \
    "$convert" -q -j "$jobs" -o "$out/out.rtf" - <"$out/list.txt" || status=$?
echo "  exit status $status, $(du -m "$out/out.rtf" 2>/dev/null | cut -f1) MB of RTF"
lost=0
check "$out/out.rtf" || lost=1

pane=$build/platform/controls/bench/pane_insert_bench
if [[ -x $pane ]]; then
    echo "the converter's RTF inserted into the window's result pane (pane_insert_bench):"
    "$pane" "$out/out.rtf" 2 | sed 's/^/  /'
fi

bench=$build/app/bench/realrun_bench
if [[ -x $bench ]]; then
    echo "the window's run (realrun_bench run):"
    "$bench" run "$out/list.txt" || lost=1
else
    echo "(no $bench: the window's run is not measured)"
fi
exit $lost
