# Sourced by the package tests: makes the Debian package from the configured build folder $build
# into a temporary folder $out (removed when the test ends) and sets $deb to it.
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    exit 1
}
deb=$(find "$out" -maxdepth 1 -name '*.deb' | head -n 1)
[[ -n "$deb" ]] || { echo "no .deb made"; cat "$out/cpack.log"; exit 1; }
