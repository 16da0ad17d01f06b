#!/usr/bin/env bash
# Makes the Debian package from the configured build folder and checks what it holds and says.
# usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    exit 1
}
deb=$(find "$out" -maxdepth 1 -name '*.deb' | head -n 1)
[[ -n "$deb" ]] || { echo "no .deb made"; cat "$out/cpack.log"; exit 1; }

status=0
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/folvane ./usr/bin/folvane-convert \
    ./usr/share/applications/org.folvane.Folvane.desktop \
    ./usr/share/metainfo/org.folvane.Folvane.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/org.folvane.Folvane.svg \
    ./usr/share/icons/hicolor/16x16/apps/org.folvane.Folvane.png \
    ./usr/share/icons/hicolor/48x48/apps/org.folvane.Folvane.png \
    ./usr/share/icons/hicolor/256x256/apps/org.folvane.Folvane.png; do
    if ! grep -qE " ${path//./\\.}\$" <<<"$contents"; then
        echo "missing from the package: $path"
        status=1
    fi
done
# Nothing of the build (tests, benchmarks, the icon renderer) is shipped.
if grep -qE '/(tst_|render_icon|[a-z_]*_bench)' <<<"$contents"; then
    echo "build tools in the package:"
    grep -E '/(tst_|render_icon|[a-z_]*_bench)' <<<"$contents"
    status=1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == folvane ]] || { echo "Package: $(field Package)"; status=1; }
[[ "$(field Version)" == "$version" ]] || { echo "Version: $(field Version)"; status=1; }
[[ -n "$(field Maintainer)" && -n "$(field Section)" ]] || { echo "no Maintainer or Section"; status=1; }
depends=$(field Depends)
# Computed from the binaries: the engine's libraries (and through their symbols files the
# engine's renderer process), the widgets' and the C++ runtime.
for library in libqt6webenginecore6 libqt6webenginewidgets6 libqt6widgets6 libstdc++6 \
    libqt6webenginecore6-bin; do
    if ! tr ',' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF "$library"; then
        echo "Depends lacks $library: $depends"
        status=1
    fi
done
[[ $status -eq 0 ]] && echo "$(basename "$deb"): contents and fields as expected"
exit $status
