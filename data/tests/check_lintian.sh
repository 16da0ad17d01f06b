#!/usr/bin/env bash
# Makes the Debian package from the configured build folder and runs lintian on it, with its
# default settings; fails on any error (E:) or warning (W:).
# usage: check_lintian.sh LINTIAN BUILD_DIR
set -euo pipefail
lintian=$1
build=$2
source "$(dirname "$0")/make_package.sh"

# Everything lintian says, for whoever reads the test's output, the pedantic and informational
# tags too.
# lintian's status is 1 when it could not do its work, 2 when it found what --fail-on names.
status=0
"$lintian" --pedantic --display-info --display-experimental "$deb" >"$out/all.txt" 2>&1 ||
    status=$?
[[ $status -ne 1 ]] || { cat "$out/all.txt"; echo "lintian failed"; exit 1; }
echo "lintian on $(basename "$deb"), every tag:"
cat "$out/all.txt"

# The verdict, with lintian's default settings. Its remark that it runs as root (CI does) goes to
# standard error and is no tag.
status=0
"$lintian" --fail-on error,warning "$deb" >"$out/default.txt" 2>"$out/stderr.txt" || status=$?
if grep -qE '^[EW]: ' "$out/default.txt" || [[ $status -ne 0 ]]; then
    echo "lintian (status $status) finds errors or warnings, or failed:"
    cat "$out/default.txt" "$out/stderr.txt"
    exit 1
fi
echo "no errors or warnings"
