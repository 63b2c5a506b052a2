#!/usr/bin/env bash
# Converts every page of the corpus of real wiki text (tests/corpus; a
# recursive run over a scratch copy), then compares every page again in test
# mode. Fails on a crash, a sanitizer report, a hang (the test's timeout) or a
# nonzero exit.
set -euo pipefail
tarvo=$1
corpus=$2
if [ ! -d "$corpus" ]; then
  echo "corpus not found at $corpus" >&2
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$corpus" "$scratch/corpus"
chmod -R u+w "$scratch/corpus"
cd "$scratch/corpus"
"$tarvo" +r '*.wiki' > "$scratch/convert.log"
"$tarvo" +r -test '*.wiki' > "$scratch/compare.log"
pages=$(grep -c ' - OK$' "$scratch/compare.log" || true)
sources=$(find . -name '*.wiki' | wc -l)
echo "converted and compared $pages of $sources pages"
[ "$pages" -eq "$sources" ]
