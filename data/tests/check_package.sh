#!/usr/bin/env bash
# Makes the Debian package from the configured build folder and checks what it holds and says.
# usage: check_package.sh BUILD_DIR VERSION MAINTAINER
set -euo pipefail
build=$1
version=$2
maintainer=$3
source "$(dirname "$0")/make_package.sh"

status=0
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/folvane ./usr/bin/folvane-convert \
    ./usr/share/applications/org.folvane.Folvane.desktop \
    ./usr/share/metainfo/org.folvane.Folvane.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/org.folvane.Folvane.svg \
    ./usr/share/icons/hicolor/16x16/apps/org.folvane.Folvane.png \
    ./usr/share/icons/hicolor/48x48/apps/org.folvane.Folvane.png \
    ./usr/share/icons/hicolor/256x256/apps/org.folvane.Folvane.png \
    ./usr/share/man/man1/folvane.1.gz ./usr/share/man/man1/folvane-convert.1.gz \
    ./usr/share/doc/folvane/copyright ./usr/share/doc/folvane/changelog.gz; do
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
[[ "$(field Maintainer)" == "$maintainer" ]] || { echo "Maintainer: $(field Maintainer)"; status=1; }
[[ -n "$(field Section)" ]] || { echo "no Section"; status=1; }
# Nothing made up: no home page, and no address but the maintainer's.
[[ -z "$(field Homepage)" ]] || { echo "Homepage: $(field Homepage)"; status=1; }

# The documentation as the package holds it: the changelog's latest entry is this version, by the
# package's maintainer; the copyright file is machine-readable and names the licence, whose text
# Debian keeps.
dpkg-deb -x "$deb" "$out/root"
doc=$out/root/usr/share/doc/folvane
if [[ -f $doc/changelog.gz && -f $doc/copyright ]]; then
    gzip -dc "$doc/changelog.gz" >"$out/changelog"
    entry() { dpkg-parsechangelog -l "$out/changelog" -S "$1"; }
    [[ "$(entry Version)" == "$version" ]] || { echo "changelog: $(entry Version)"; status=1; }
    [[ "$(entry Maintainer)" == "$maintainer" ]] || {
        echo "changelog by: $(entry Maintainer)"
        status=1
    }
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        "$doc/copyright" || { echo "copyright: not machine-readable"; status=1; }
    grep -qx 'License: GPL-3+' "$doc/copyright" || { echo "copyright: no GPL-3+"; status=1; }
    grep -qF '/usr/share/common-licenses/GPL-3' "$doc/copyright" || {
        echo "copyright: the licence's text not pointed to"
        status=1
    }
fi
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
