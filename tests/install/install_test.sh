#!/usr/bin/env bash
# The installed program: `cmake --install` into a temporary prefix gives a bin/ovista that,
# started through its link from another folder, finds its pictures and writes a report PDF;
# and `cpack -G DEB` makes a package holding the same files.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ovista_install_XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
files=(lib/ovista/ovista lib/ovista/qt/ovista-qt.so lib/ovista/star.bmp lib/ovista/ball.bmp
       share/applications/ovista.desktop share/icons/hicolor/256x256/apps/ovista.png
       share/doc/ovista/copyright share/doc/ovista/changelog.gz share/man/man1/ovista.1.gz)
for f in "${files[@]}"; do
  [ -s "$prefix/$f" ] || fail "$f not installed"
done
[ "$(readlink "$prefix/bin/ovista")" = ../lib/ovista/ovista ] || fail "bin/ovista is not the link"
grep -qx 'Exec=ovista' "$prefix/share/applications/ovista.desktop" || fail "desktop entry"
[ "$("$prefix/bin/ovista" --version)" = "Version 2.H" ] || fail "--version"
zgrep -q 'JOBS=<n>' "$prefix/share/man/man1/ovista.1.gz" || fail "the manual page is not the help text"

# A herd report as PDF, run through the link from an unrelated folder with a home of its own.
# The report loads its pictures from the program's real folder: without star.bmp there it
# writes no PDF.
mkdir -p "$work/home" "$work/elsewhere"
report() {
  rm -rf "$work/pdf" && mkdir -p "$work/pdf"
  (cd "$work/elsewhere" && HOME=$work/home OVISTA_TODAY=01/06/2006 QT_QPA_PLATFORM=offscreen \
    "$prefix/bin/ovista" NODIALOGS "PDFFOLDER=$work/pdf" "CSVFILE=$source/examples/herd001.csv" \
    2>"$work/errors")
}
report || fail "report run: $(cat "$work/errors")"
pdf=$(find "$work/pdf" -name '*.pdf' | head -n 1)
[ -n "$pdf" ] || fail "no PDF written: $(cat "$work/errors")"
[ "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" = 2 ] || fail "the PDF has not two pages"
# The chart pictures from the program's folder, at their size on the 600-dpi page (a star
# 50 pixels wide, a chart point 74), and the logo are pictures in the PDF.
pictures=$(pdfimages -list "$pdf" | awk '$3 == "image" {print $4 "x" $5}' | sort -u | tr '\n' ' ')
[[ "$pictures" == *50x54* && "$pictures" == *74x70* ]] || fail "pictures in the PDF: $pictures"
mv "$prefix/lib/ovista/star.bmp" "$work/star.bmp"
report && fail "a report without its star picture"
grep -q 'star.bmp' "$work/errors" || fail "the missing picture is not named: $(cat "$work/errors")"
[ -z "$(find "$work/pdf" -name '*.pdf')" ] || fail "a PDF without its star picture"
mv "$work/star.bmp" "$prefix/lib/ovista/star.bmp"

# The Debian package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(find "$work/package" -maxdepth 1 -name 'ovista_*.deb' | head -n 1)
[ -n "$deb" ] || fail "no package"
contents=$(dpkg-deb -c "$deb")
for f in "${files[@]}"; do
  grep -q " ./usr/$f\$" <<<"$contents" || fail "$f not in the package"
done
grep -q ' ./usr/bin/ovista -> ../lib/ovista/ovista$' <<<"$contents" || fail "no link in the package"
# The changelog's newest entry is the package's version: a new version needs its entry.
version=$(dpkg-deb -f "$deb" Version)
entry=$(zcat "$prefix/share/doc/ovista/changelog.gz" | head -n 1)
[[ "$entry" == "ovista ($version) "* ]] || fail "the changelog begins '$entry', the package is $version"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6printsupport6 qt6-qpa-plugins libicu fonts-liberation2; do
  grep -q "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
done
echo "installed, reported and packaged: $deb"
