#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian).
set -euo pipefail
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
have python3 || need+=(python3)
have dot || need+=(graphviz)
have clang++ || need+=(clang)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev googletest)
[ -f /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a ] || ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
for extra in "$@"; do
  case "$extra" in
    chromium) have chromium || need+=(chromium) ;;
    # The Windows build and its tests under Wine (scripts/windows-tests).
    windows)
      have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
      [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
      [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
      ;;
    *) need+=("$extra") ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
