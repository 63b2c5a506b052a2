#!/usr/bin/env bash
# Installs the Debian packages that a command needs, when they are missing.
#
#   scripts/install-deps.sh [GROUP...]
#
#   build    (the default) a C++ compiler, CMake, Ninja and Graphviz: building
#            tarvo and the example site (scripts/build-site)
#   test     build, plus Python, GoogleTest, clang with its fuzzer runtime,
#            Chromium with ChromeDriver and Selenium, and html5lib: the Linux
#            tests of scripts/run-tests
#   windows  CMake, Ninja, Python, MinGW-w64, Wine, GoogleTest's sources and
#            groff: the Windows build and its tests (scripts/windows-tests)
#   package  build and windows, plus dpkg-dev, man-db, lintian and mandoc:
#            the packages and their tests (scripts/package,
#            tests/package/check_packages.sh)
#   bench    pandoc, cmark and GNU time: the peers measured by bench/run
#
# As root it runs apt-get; otherwise through sudo, or, without sudo, it prints
# the command to run and fails.
set -euo pipefail
need=()
have() { command -v "$1" >/dev/null 2>&1; }

# The fuzzer runtime is wherever this clang looks for it.
fuzzer_runtime() {
  local lib
  lib=$(clang++ -print-file-name="libclang_rt.fuzzer-$(uname -m).a" 2>/dev/null) && [ -f "$lib" ]
}

group() {
  case "$1" in
    build)
      have c++ || need+=(g++)
      have cmake || need+=(cmake)
      have ninja || need+=(ninja-build)
      have dot || need+=(graphviz)
      ;;
    test)
      group build
      have python3 || need+=(python3)
      [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
      if ! have clang++; then need+=(clang libclang-rt-dev)
      elif ! fuzzer_runtime; then need+=(libclang-rt-dev)
      fi
      have chromium || need+=(chromium)
      [ -x /usr/bin/chromedriver ] || need+=(chromium-driver)
      # Looked for where Debian's Python finds it: the python3 on PATH may be another.
      [ -f /usr/lib/python3/dist-packages/selenium/__init__.py ] || need+=(python3-selenium)
      [ -f /usr/lib/python3/dist-packages/html5lib/__init__.py ] || need+=(python3-html5lib)
      ;;
    windows)
      have cmake || need+=(cmake)
      have ninja || need+=(ninja-build)
      have python3 || need+=(python3)
      have groff || need+=(groff-base)
      have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
      [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
      [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
      ;;
    package)
      group build
      group windows
      have dpkg-shlibdeps || need+=(dpkg-dev)
      have man || need+=(man-db)
      have lintian || need+=(lintian)
      have mandoc || need+=(mandoc)
      ;;
    bench)
      have pandoc || need+=(pandoc)
      have cmark || need+=(cmark)
      [ -x /usr/bin/time ] || need+=(time)
      ;;
    *) echo "install-deps.sh: unknown group '$1' (build, test, windows, package, bench)" >&2; exit 2 ;;
  esac
}

[ $# -gt 0 ] || set -- build
for g in "$@"; do group "$g"; done
[ ${#need[@]} -gt 0 ] || exit 0
mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)

if ! have apt-get; then
  echo "error: missing tools; install these (Debian package names) or their like:" >&2
  echo "  ${need[*]}" >&2
  echo "README.md, \"Tools needed\", lists the tools and their versions." >&2
  exit 1
fi
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if have sudo; then
    sudo=(sudo)
  else
    echo "error: missing Debian packages; as root, run:" >&2
    echo "  apt-get update && apt-get install -y ${need[*]}" >&2
    exit 1
  fi
fi
echo "installing: ${need[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
