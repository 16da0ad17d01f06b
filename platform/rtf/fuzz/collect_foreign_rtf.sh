#!/bin/bash
# usage: platform/rtf/fuzz/collect_foreign_rtf.sh OUT_DIR [BUILD_DIR]
#
# Checks the RTF engine on other programs' RTF, outside CI: takes real HTML pages from Debian
# documentation packages (installed when missing), converts each with pandoc and with
# LibreOffice into OUT_DIR/rtf/, and runs rtf_stability (from BUILD_DIR, build-test by default)
# over them: read, write, read, write must give the same write twice and keep the text. The
# RTFs also seed fuzz_long.sh. Nothing under OUT_DIR belongs in the repository; keep only
# minimized findings, in regressions/.
set -euo pipefail
[ $# -ge 1 ] || { sed -n 2p "$0"; exit 2; }
out=$(realpath -m "$1")
build_dir=$(realpath -m "${2:-build-test}")
checker=$build_dir/platform/rtf/fuzz/rtf_stability
[ -x "$checker" ] || { echo "build rtf_stability first: cmake --build $build_dir --target rtf_stability"; exit 2; }

packages=(python3-doc apache2-doc lua5.1-doc pandoc libreoffice-writer-nogui)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
fi

# The pages: every 9th of the Python documentation, every 4th of Apache's English manual,
# all of Lua's, in a fixed order so that every run checks the same files. LibreOffice cannot
# load some of the Python pages ("source file could not be loaded"); those have pandoc's RTF
# alone.
pages=()
mapfile -t -O ${#pages[@]} pages < <(find -L /usr/share/doc/python3-doc/html -name '*.html' | sort | awk 'NR % 9 == 1')
mapfile -t -O ${#pages[@]} pages < <(find /usr/share/doc/apache2-doc/manual/en -name '*.html' | sort | awk 'NR % 4 == 1')
mapfile -t -O ${#pages[@]} pages < <(find /usr/share/doc/lua5.1-doc/doc -name '*.html' | sort)

rm -rf "$out/rtf" "$out/lo"
mkdir -p "$out/rtf" "$out/lo"
names=()
for page in "${pages[@]}"; do
    # A name from the page's path: python3-doc/html/library/os.html -> python3-doc_library_os
    name=$(echo "${page#/usr/share/doc/}" | sed -e 's|/html/|/|' -e 's|/manual/en/|/|' -e 's|/doc/|/|' \
        -e 's|\.html$||' -e 's|/|_|g')
    names+=("$name")
    (cd "$(dirname "$page")" && pandoc -s -f html -t rtf "$page" -o "$out/rtf/$name.pandoc.rtf") ||
        echo "pandoc failed on $page"
    ln -sf "$(realpath "$page")" "$out/lo/$name.html"
done

# LibreOffice: Writer's HTML import, then its RTF export, in one run over all pages, with a
# profile of its own so that another LibreOffice on the machine does not get in the way.
# A batch sometimes loses pages ("source file could not be loaded"): those go one by one.
convert() {
    (cd "$out/lo" && soffice -env:UserInstallation="file://$out/lo-profile" --headless \
        --infilter="HTML (StarWriter)" --convert-to 'rtf:Rich Text Format' --outdir "$out/lo" \
        "$@" >>"$out/lo/soffice.log" 2>&1) || echo "soffice failed, see $out/lo/soffice.log"
}
convert "${names[@]/%/.html}"
for name in "${names[@]}"; do
    [ -s "$out/lo/$name.rtf" ] || convert "$name.html"
    if head -c 5 "$out/lo/$name.rtf" 2>/dev/null | grep -q '{\\rtf'; then
        mv "$out/lo/$name.rtf" "$out/rtf/$name.libreoffice.rtf"
    else
        echo "LibreOffice gave no RTF for $name"
    fi
done

echo "${#pages[@]} pages: $(ls "$out/rtf" | grep -c '\.pandoc\.rtf$') RTF files from pandoc," \
    "$(ls "$out/rtf" | grep -c '\.libreoffice\.rtf$') from LibreOffice, in $out/rtf"
"$checker" -v "$out"/rtf/*.rtf 2>/dev/null | tee "$out/stability.txt" | grep -v ': stable$'
