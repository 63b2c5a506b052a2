#!/usr/bin/env bash
# Converts every page of the corpus of real wiki text (tests/corpus; a
# recursive run over a scratch copy), then compares every page again in test
# mode; then does both again with the pages made on four threads, which must
# give the same pages, DOT files and console text. Fails on a crash, a
# sanitizer report, a hang (the test's timeout), a nonzero exit or a
# difference.
set -euo pipefail
tarvo=$(realpath "$1")
corpus=$2
if [ ! -d "$corpus" ]; then
  echo "corpus not found at $corpus" >&2
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for run in serial threads; do
  cp -r "$corpus" "$scratch/$run"
  chmod -R u+w "$scratch/$run"
done
sweep() {  # folder, words before the rest of the command line
  (cd "$scratch/$1" && "$tarvo" "${@:2}" +r -wrk dot/ '*.wiki' >"$scratch/$1.log" &&
   "$tarvo" "${@:2}" +r -test -wrk dot/ '*.wiki' >"$scratch/$1.test.log")
}
sweep serial
sweep threads --jobs 4
pages=$(grep -c ' - OK$' "$scratch/serial.test.log" || true)
sources=$(find "$scratch/serial" -name '*.wiki' | wc -l)
echo "converted and compared $pages of $sources pages"
[ "$pages" -eq "$sources" ]
diff -r "$scratch/serial" "$scratch/threads" >/dev/null || { echo "four threads made other files" >&2; exit 1; }
for log in log test.log; do
  cmp "$scratch/serial.$log" "$scratch/threads.$log" || { echo "four threads printed otherwise" >&2; exit 1; }
done
