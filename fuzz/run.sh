#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for a number of seconds,
# seeded from a copy of the corpus of real wiki text in tests/corpus.
#
#   fuzz/run.sh [seconds]            (default 60 per target)
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_CORPUS (default
# <repo>/tests/corpus), FUZZ_TARGETS (default: all), FUZZ_OUT (where
# crash artifacts and logs go; default a fresh temporary directory).
# Fails on a crash, a sanitizer report, a page that differs when converted
# twice, a slow or out-of-proportion page, an input slower than 10 seconds or
# above 2 GB of memory.
set -euo pipefail

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}
corpus=${FUZZ_CORPUS:-$repo/tests/corpus}
targets=${FUZZ_TARGETS:-page_fuzz}
out=${FUZZ_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/tarvo-fuzz-run.XXXXXX")}
mkdir -p "$out"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_TESTS=OFF -DTARVO_FUZZ=ON >"$out/configure.log"
cmake --build "$build" --target $targets >"$out/build.log" || { tail -50 "$out/build.log"; exit 1; }

# The seeds are copied for each run: libFuzzer may add to the corpus it is given.
seeds=
if [ -d "$corpus" ]; then
  seeds=$out/seeds
  mkdir -p "$seeds"
  cp -r "$corpus"/. "$seeds"/
  chmod -R u+w "$seeds"
else
  echo "warning: no seed corpus at $corpus; starting from nothing" >&2
fi

status=0
for target in $targets; do
  mkdir -p "$out/$target/corpus" "$out/$target/artifacts"
  log=$out/$target/fuzz.log
  echo "fuzzing $target for ${seconds}s (log: $log)"
  set +e
  # Standard output is closed: diagram names that are no valid file name make
  # the converter print "Can't create" for every such input.
  ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  "$build/$target" "$out/$target/corpus" ${seeds:+"$seeds"} \
      -dict="$here/markup.dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$out/$target/artifacts/" \
      >"$log" 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: |converted twice|slow input|out of proportion' "$log"; then
    echo "FAILED: $target (exit $rc); artifacts in $out/$target/artifacts" >&2
    grep -E -m 20 -A 30 'ERROR:|runtime error:|converted twice|slow input|out of proportion' "$log" >&2 || tail -40 "$log" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$log" | sed "s/^/  /" || true
  fi
done
[ $status -eq 0 ] && echo "all fuzz targets ran clean; output in $out"
exit $status
