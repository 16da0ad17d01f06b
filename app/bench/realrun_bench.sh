#!/usr/bin/env bash
# usage: app/bench/realrun_bench.sh [--build DIR] [--repeat N] [--rounds R] [--a11y] [--a11y-client] [--list FILE]
#
# The whole run against the engine's own load time, on real documentation pages from Debian
# packages that this script installs (as root, or through sudo). Not part of CI or of the tests:
# it prints figures and asserts nothing.
#   --build DIR   the build folder holding app/bench/realrun_bench (default build-test)
#   --repeat N    go through the page list N times in each leg (5 gives about 300 pages)
#   --rounds R    run every leg R times, interleaved, and print each round (default 1)
#   --a11y        afterwards, run the floor and the run again with an accessibility bus
#                 (at-spi2-core) and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
#   --a11y-client as --a11y, with a client listening on the bus for the events a screen reader
#                 asks for (text, children, state and focus changes; python3-pyatspi)
#   --list FILE   pages to use, one a line, relative to /usr/share/doc (default: the fixed list
#                 realrun_pages.txt beside this script, so runs compare)
# Under Xvfb with a window manager (openbox) when there is no DISPLAY. Legs: (a) floor, each page
# loaded in a visible QWebEngineView one after another; (b) select, the floor plus a select-all
# after each load; (c) run, the program's window: pages dropped on the list, Concatenate clicked,
# timed until the last insertion. Peak memory is the sum of the resident sizes of the process and
# its engine processes, sampled every 100 ms (PSS, shared pages counted once, beside it). The CPU
# time of the engine's processes and of the program's process (all its threads, the engine's
# in-process network and GPU threads among them) is printed beside the wall clock: it counts
# work, not the time the shared machine gives to other programs. The run's time is also split
# by stage (load, select-all, copy, insertion; FOLVANE_RUN_TIMELINE=1 prints each page's).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build-test
repeat=1
rounds=1
a11y=0
client=0
list=$here/realrun_pages.txt
while [[ $# -gt 0 ]]; do
    case $1 in
    --build) build=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --a11y) a11y=1; shift ;;
    --a11y-client) a11y=1; client=1; shift ;;
    --list) list=$2; shift 2 ;;
    *) sed -n 2p "$0"; exit 2 ;;
    esac
done
bench=$build/app/bench/realrun_bench
[[ -x $bench ]] || { echo "build $bench first (cmake --build $build --target realrun_bench)"; exit 1; }

# The documentation packages the pages come from, and what the display and the bus need.
"$root/scripts/install-deps" --only python3-doc apache2-doc lua5.1-doc postgresql-doc-15 cmake-doc \
    rust-doc nodejs-doc python-django-doc xvfb openbox at-spi2-core dbus-daemon python3-pyatspi \
    >/dev/null

work=$(mktemp -d)
cleanup() {
    [[ -n ${wm:-} ]] && kill "$wm" 2>/dev/null || true
    [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

pages=$work/pages.txt
kib=0
while read -r page; do
    [[ -z $page || $page == \#* ]] && continue
    path=/usr/share/doc/$page
    [[ -f $path ]] || { echo "missing page: $path"; exit 1; }
    echo "$path" >>"$pages"
done <"$list"
count=$(wc -l <"$pages")
kib=$(($(xargs -d '\n' cat <"$pages" | wc -c) / 1024))
echo "pages: $count ($kib KiB of HTML) x $repeat"

if [[ -z ${DISPLAY:-} ]]; then
    for n in $(seq 90 99); do
        [[ -e /tmp/.X11-unix/X$n ]] || break
    done
    Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
fi
export QT_QPA_PLATFORM=xcb
unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON

# leg NAME [prefix command...]: one leg, its line of figures printed and kept.
leg() {
    local name=$1
    shift
    # only the leg's line of figures: what the accessibility bus prints on the way stays out
    "$@" "$bench" "$name" "$pages" "$repeat" 2>"$work/$name.err" | grep --line-buffered '^leg ' |
        tee -a "$work/results" || { echo "leg $name failed:"; tail -20 "$work/$name.err"; }
}

# A client that listens for what a screen reader listens for and, as one does before it speaks,
# asks each event's source for its role and name.
cat >"$work/listener.py" <<'EOF'
import pyatspi
def heard(event):
    try:
        event.source.getRoleName()
        event.source.name
    except Exception:
        pass
pyatspi.Registry.registerEventListener(
    heard, 'object:text-changed', 'object:children-changed', 'object:state-changed',
    'object:property-change', 'object:text-caret-moved', 'object:text-selection-changed',
    'focus:', 'document:load-complete')
pyatspi.Registry.start()
EOF

# With the bus: a session bus of its own, the accessibility bus launched on it, the registry
# started (and the listening client, if asked for), and Qt told to report to it whatever the
# desktop says.
with_a11y() {
    CLIENT=$client LISTENER=$work/listener.py dbus-run-session -- bash -c '
        /usr/libexec/at-spi-bus-launcher --launch-immediately &
        launcher=$!
        sleep 1
        /usr/libexec/at-spi2-registryd &
        registry=$!
        sleep 1
        listener=
        if [[ $CLIENT -eq 1 ]]; then
            /usr/bin/python3 "$LISTENER" &
            listener=$!
            sleep 1
        fi
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
        status=$?
        kill $listener $registry $launcher 2>/dev/null
        exit $status' bash "$@"
}

for round in $(seq "$rounds"); do
    echo "round $round"
    leg floor
    leg select
    leg run
    if [[ $a11y -eq 1 ]]; then
        leg floor with_a11y
        sed -i '$ s/^leg floor/leg floor_a11y/' "$work/results"
        leg run with_a11y
        sed -i '$ s/^leg run/leg run_a11y/' "$work/results"
    fi
done

# Medians over the rounds, and the ratios.
awk '
function median(name, key,    n, i, j, t, v) {
    n = 0
    for (i = 1; i <= rows; ++i) if (legof[i] == name && (i, key) in val) v[++n] = val[i, key]
    if (n == 0) return ""
    for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return v[int((n + 1) / 2)]
}
{ ++rows; legof[rows] = $2; for (i = 3; i < NF; i += 2) val[rows, $i] = $(i + 1)
  nth = ++seen[$2]; timeof[$2, nth] = val[rows, "time_ms"]; if (nth > nrounds) nrounds = nth }
END {
    # The ratios within each round, whose legs ran minutes apart at most.
    for (k = 1; k <= nrounds; ++k) {
        printf "round %d: run / floor %.2f, select / floor %.2f", k, timeof["run", k] / timeof["floor", k], timeof["select", k] / timeof["floor", k]
        if (("run_a11y", k) in timeof) printf ", run with a11y / run %.2f", timeof["run_a11y", k] / timeof["run", k]
        printf "\n"
    }
    printf "\n%-12s %10s %12s %12s %14s %15s\n", "leg (median)", "time ms", "peak RSS MiB", "peak PSS MiB", "engine CPU ms", "program CPU ms"
    split("floor select run floor_a11y run_a11y", names, " ")
    for (k = 1; k <= 5; ++k) {
        t = median(names[k], "time_ms")
        if (t != "") printf "%-12s %10d %12d %12d %14d %15d\n", names[k], t, median(names[k], "peak_rss_mib"), median(names[k], "peak_pss_mib"), median(names[k], "engine_cpu_ms"), median(names[k], "process_cpu_ms")
    }
    f = median("floor", "time_ms"); s = median("select", "time_ms"); r = median("run", "time_ms")
    printf "\nrun, of which copy %d ms, insertion %d ms (from each DocumentComplete)\n", median("run", "copy_ms"), median("run", "insert_ms")
    printf "run, by stage (summed over the pages): load %d, load to DocumentComplete %d, select-all and copy %d, insertion %d, insertion to the next load %d ms\n", median("run", "stage_load_ms"), median("run", "stage_complete_ms"), median("run", "stage_copy_ms"), median("run", "stage_insert_ms"), median("run", "stage_to_next_load_ms")
    printf "run, CPU of the UI thread %d ms, of which insertion %d ms\n", median("run", "ui_cpu_ms"), median("run", "insert_cpu_ms")
    printf "program heap after the run %d MiB\n", median("run", "heap_mib")
    printf "memory sampling, CPU of its thread: floor %d ms, run %d ms\n", median("floor", "sampler_cpu_ms"), median("run", "sampler_cpu_ms")
    printf "select / floor     %.2f\n", s / f
    printf "run / floor        %.2f   (aim: at most 1.7)\n", r / f
    printf "run / select       %.2f\n", r / s
    fa = median("floor_a11y", "time_ms"); ra = median("run_a11y", "time_ms")
    if (ra != "") {
        printf "floor with a11y / floor  %.2f\n", fa / f
        printf "run with a11y / run      %.2f   (aim: at most 1.25)\n", ra / r
        printf "run with a11y / floor with a11y  %.2f\n", ra / fa
    }
}' "$work/results"
