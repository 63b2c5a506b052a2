#!/usr/bin/env bash
# Runs the commands of the man page's EXAMPLES and of the README's "Usage
# examples", as they are written there, each set over a fresh small tree (pages
# in docs/ and docs/guide/, one with an image, both with a diagram, a page and
# a template at the top), and checks what the text says they do. Graphviz's
# dot makes the pictures, through a stand-in on PATH that notes each call.
#
#   tests/docs/run_examples.sh TARVO REPO_ROOT
set -euo pipefail
tarvo=$(realpath "$1")
root=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
ln -s "$tarvo" "$scratch/bin/tarvo"
real_dot=$(command -v dot) || { echo "FAILED: Graphviz's dot is not on PATH" >&2; exit 1; }
export DOT_CALLS="$scratch/dot-calls"
printf '#!/bin/sh\necho "$2" >>"$DOT_CALLS"\nexec %q "$@"\n' "$real_dot" >"$scratch/bin/dot"
chmod +x "$scratch/bin/dot"
export PATH="$scratch/bin:$PATH"

fail() { echo "FAILED: $*" >&2; [ -f log ] && cat log >&2; exit 1; }

make_tree() {
  mkdir -p "$1/docs/guide" && cd "$1"
  printf '= Start =\nA cat: [[file:cat.png]]\n<graphviz name="flow">digraph { a -> b }</graphviz>\nSee [[usage]].\n' >docs/index.wiki
  printf '= Usage =\nText.\n<graphviz name="steps">digraph { x -> y }</graphviz>\n' >docs/guide/usage.wiki
  printf '= Intro =\nText.\n' >intro.wiki
  printf '<html><body class="framed">\n*******body*******\n</body></html>\n' >page.tmpl
  mkdir -p docs/img site/img && printf 'PNG' >docs/img/cat.png
  cp docs/img/cat.png site/img/  # copied as the man page says (the README's commands copy it too)
}

# $1: name, $2: the commands, $3: the pages expected in site/. The last
# command is the check before publishing.
run_doc() {
  make_tree "$scratch/$1"
  [ -n "$2" ] || fail "$1: no commands found"
  : >"$DOT_CALLS"
  bash -e -o pipefail -c "$2" >log 2>&1 || fail "$1: a command failed"
  local pages
  pages=$(ls site/*.html 2>/dev/null | sort | tr '\n' ' ' || true)
  [ "$pages" = "$3" ] || fail "$1: pages in site/: $pages, expected $3"
  grep -q 'src="img/cat.png"' site/index.html || fail "$1: image not under img/"
  grep -q 'src="flow.svg"' site/index.html || fail "$1: diagram picture not beside the page"
  grep -q '<svg' site/flow.svg && grep -q '<svg' site/steps.svg || fail "$1: no pictures made"
  [ -f dot/flow.dot ] || fail "$1: no DOT file in dot/"
  [ "$(grep -c ' - OK$' log)" -eq "$(echo "$3" | wc -w)" ] || fail "$1: test mode did not find every page unchanged"
  [ "$(sort "$DOT_CALLS" | tr '\n' ' ')" = "dot/flow.dot dot/steps.dot " ] || fail "$1: dot ran for $(cat "$DOT_CALLS")"
  # The conversion again: nothing to draw; then one diagram changed: one picture.
  local convert
  convert=$(grep -e '--svg' <<<"$2" | grep -v -e '-test')
  : >"$DOT_CALLS"
  bash -e -c "$convert" >log 2>&1 || fail "$1: the second run failed"
  [ ! -s "$DOT_CALLS" ] || fail "$1: a second run ran dot for $(cat "$DOT_CALLS")"
  sed -i 's/x -> y/x -> y -> z/' docs/guide/usage.wiki
  : >"$DOT_CALLS"
  bash -e -c "$convert" >log 2>&1 || fail "$1: the run after a change failed"
  [ "$(cat "$DOT_CALLS")" = dot/steps.dot ] || fail "$1: after one change dot ran for $(cat "$DOT_CALLS")"
  grep -q '>z<' site/steps.svg || fail "$1: the changed picture was not made again"
}

# Commands: the .B lines between .RS and .RE of EXAMPLES, roff escapes undone.
man_commands=$(awk '/^\.SH/ { on = /^\.SH EXAMPLES/ } on && /^\.RS/ { rs = 1 } on && /^\.RE/ { rs = 0 }
                    on && rs && /^\.B / { sub(/^\.B /, ""); print }' "$root/tarvo.1" |
               sed -e 's/\\-/-/g' -e 's/\\(dq/"/g' -e "s/\\\\(aq/'/g")
run_doc man "$man_commands" "site/index.html site/intro.html site/usage.html "
[ -f intro.html ] || fail "man: tarvo intro.wiki made no intro.html"
grep -q 'class="framed"' site/usage.html || fail "man: the template was not used"

# Commands: the lines of the sh blocks under "## Usage examples", with the
# files installed in /usr/share/tarvo taken from the repository.
readme_commands=$(awk '/^## / { on = /^## Usage examples/ } on && /^```sh$/ { code = 1; next } on && /^```/ { code = 0 }
                      on && code' "$root/README.md" |
                  sed -e "s|/usr/share/tarvo/page.html|$root/examples/page.html|g" \
                      -e "s|/usr/share/tarvo/tarvo.css|$root/examples/site/tarvo.css|g")
run_doc readme "$readme_commands" "site/index.html site/usage.html "
[ -f site/tarvo.css ] || fail "readme: the stylesheet was not copied beside the pages"
grep -q '<title>usage</title>' site/usage.html && grep -q '<h1 id="Usage">' site/usage.html ||
  fail "readme: the pages are not made with --html5 and the shipped template"

# "A folder name alone converts nothing."
make_tree "$scratch/folder"
tarvo +r docs site/ >log 2>&1 || fail "folder: tarvo +r docs site/ failed"
[ -z "$(find . -name '*.html')" ] || fail "folder: a folder name alone wrote pages"
echo "man page and README examples: all passed"
