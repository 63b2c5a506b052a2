#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for a number of seconds,
# seeded from a copy of the corpus of real wiki text in tests/corpus.
#
#   fuzz/run.sh [seconds]            (default 60)
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_CORPUS (default
# <repo>/tests/corpus), FUZZ_OUT (crash artifacts and logs; default a fresh
# temporary directory). Fails on a crash, a sanitizer report, a page that
# differs when converted twice, a slow or out-of-proportion page, an input
# slower than 10 seconds or above 2 GB of memory.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}
corpus=${FUZZ_CORPUS:-$repo/tests/corpus}
out=${FUZZ_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/tarvo-fuzz-run.XXXXXX")}
mkdir -p "$out/corpus" "$out/artifacts" "$out/seeds"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_TESTS=OFF -DTARVO_FUZZ=ON >"$out/configure.log"
cmake --build "$build" --target page_fuzz >"$out/build.log" || { tail -50 "$out/build.log"; exit 1; }
# The seeds are copied for each run: libFuzzer may add to the corpus it is given.
cp -r "$corpus"/. "$out/seeds"/ && chmod -R u+w "$out/seeds"

echo "fuzzing page_fuzz for ${seconds}s (log: $out/fuzz.log)"
# Standard output is closed: diagram names that are no valid file name make
# the converter print "Can't create" for every such input.
rc=0
ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  "$build/page_fuzz" "$out/corpus" "$out/seeds" -dict="$here/markup.dict" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/" >"$out/fuzz.log" 2>&1 || rc=$?
failure='ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: |converted twice|slow input|out of proportion'
if [ $rc -ne 0 ] || grep -qE "$failure" "$out/fuzz.log"; then
  echo "FAILED (exit $rc); artifacts in $out/artifacts" >&2
  grep -E -m 20 -A 30 "$failure" "$out/fuzz.log" >&2 || tail -40 "$out/fuzz.log" >&2
  exit 1
fi
grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$out/fuzz.log" | sed "s/^/  /" || true
echo "the fuzz target ran clean; output in $out"
