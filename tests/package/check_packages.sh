#!/usr/bin/env bash
# Checks the packages that scripts/package made. The Debian package: lintian
# finds no error or warning; its fields; the files it holds, exactly; its tarvo
# converting a page with --html5 and the packaged template, whose stylesheet
# lies beside it; its man page read by man and by mandoc's checker without a
# warning; its bash completion completing an option. The Windows zip is
# listed and unpacked, and its tarvo.exe converts the same page under Wine.
#
#   tests/package/check_packages.sh DEB ZIP
# Environment: WINEPREFIX (default: a scratch prefix, made on first use).
set -euo pipefail
deb=$(realpath "$1")
zip=$(realpath "$2")
scratch=$(mktemp -d)
wineserver=/usr/lib/wine/wineserver
cleanup() {
  [ -n "${own_prefix:-}" ] && WINEPREFIX=$own_prefix "$wineserver" -k 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
cd "$scratch"
printf '= Packaged =\nA page with a [[link]].\n' >page.wiki

# A page converted with the packaged template; $1 and the rest: the command.
convert() {
  rm -f page.html
  "$@" --html5 -tmpl "$template" page.wiki >convert.log || fail "$*: $(cat convert.log)"
  grep -q '<h1 id="Packaged">Packaged</h1>' page.html && grep -q '<title>page</title>' page.html ||
    fail "$*: the page or its template is missing from page.html"
  [ -f "$(dirname "$template")/tarvo.css" ] || fail "no tarvo.css beside $template"
}

echo "Debian package $(basename "$deb")"
lintian --fail-on error,warning "$deb" >lintian.log 2>&1 || fail "lintian: $(cat lintian.log)"
dpkg-deb -x "$deb" deb
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libgcc-s1; do [[ $depends == *"$lib ("* ]] || fail "Depends lacks $lib: $depends"; done
[ "$(dpkg-deb -f "$deb" Recommends)" = graphviz ] || fail "Recommends is not graphviz"
# What the package holds: the program, the compressed manual page, the bash
# completion, the template and its stylesheet, and in its doc folder the
# changelog and the licence.
expected=$(printf '/usr/%s\n' bin/tarvo share/bash-completion/completions/tarvo share/man/man1/tarvo.1.gz \
  share/tarvo/{page.html,tarvo.css} share/doc/tarvo/{changelog.gz,copyright} | sort)
[ "$(cd deb && find . -type f | cut -c2- | sort)" = "$expected" ] || fail "the package holds other files than: $expected"
template=deb/usr/share/tarvo/page.html
convert deb/usr/bin/tarvo
version=$(sed -n '1s/^Tarvo v\([0-9]*\.[0-9]*\) (build \([0-9]*\)).*/\1.\2/p' convert.log)
[ "$version" = "$(dpkg-deb -f "$deb" Version)" ] || fail "banner version $version, package $(dpkg-deb -f "$deb" Version)"
man=deb/usr/share/man/man1/tarvo.1.gz
# grep reads the whole page (with -q it could stop early and zcat then fail
# on the closed pipe, which pipefail reports).
zcat "$man" | grep "^\.TH TARVO 1 .* \"Tarvo ${version%.*}\"" >/dev/null || fail "the man page is not that of Tarvo ${version%.*}"
MANWIDTH=80 man --warnings -l "$man" >man.txt 2>man.err
[ ! -s man.err ] || fail "man: $(cat man.err)"
grep -q '^EXAMPLES' man.txt || fail "the man page has no EXAMPLES"
mandoc -T lint "$man" >mandoc.log 2>&1 || fail "mandoc: $(cat mandoc.log)"
# The completion, as bash-completion loads it, asked for the words it offers.
completions() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tarvo; echo "${COMPREPLY[*]}"' \
    _ deb/usr/share/bash-completion/completions/tarvo tarvo "$@"
}
[ "$(completions --ch)" = --check-links ] || fail "completing --ch gives '$(completions --ch)'"
[ "$(completions --ke)" = --keep-tree ] || fail "completing --ke gives '$(completions --ke)'"
[ -z "$(completions -gen --ch)" ] || fail "the value of -gen was completed as an option"

echo "Windows zip $(basename "$zip")"
top=$(basename "$zip" .zip)
python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" >zip.list
for f in tarvo.exe tarvo.css page.html tarvo.txt README.md LICENSE; do
  grep -qx "$top/$f" zip.list || fail "the zip lacks $top/$f"; done
python3 -m zipfile -e "$zip" win
grep -q '^EXAMPLES' "win/$top/tarvo.txt" || fail "tarvo.txt has no EXAMPLES"
[ -n "${WINEPREFIX:-}" ] || { own_prefix=$scratch/wineprefix; export WINEPREFIX=$own_prefix; }
export WINEDEBUG=-all LC_ALL=C.UTF-8
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
template=win/$top/page.html
convert /usr/lib/wine/wine64 "win/$top/tarvo.exe"
echo "both packages passed"
