#!/usr/bin/env bash
# Cross-builds the Qt-free core and its tests for Windows with MinGW-w64 and runs them under Wine.
# Usage: scripts/cross-windows.sh [extra CMake options]; BUILD_DIR (default build-win), JOBS
# (default 2) and TEST_DEADLINE (seconds for the whole test run, default 900) may be set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${BUILD_DIR:-$root/build-win}")
jobs=${JOBS:-2}
test_deadline=${TEST_DEADLINE:-900}
toolchain=$root/cmake/toolchain-mingw64.cmake

# The cross compiler, Wine, and what Wine's Russian locale is made from.
packages=(cmake make g++-mingw-w64-x86-64-posix wine64 wine googletest locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# Wine takes its code page from the host locale: 1251, as on the users' Windows. Made in the
# build directory, so the machine's locales stay as they are.
locale_dir=$build_dir/locale
if [ ! -d "$locale_dir/ru_RU.UTF-8" ]; then
  mkdir -p "$locale_dir"
  localedef -i ru_RU -f UTF-8 "$locale_dir/ru_RU.UTF-8"
fi

# The environment of the toolchain's emulator, for the Wine commands run here.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$build_dir/wineprefix
wine_env=(env LOCPATH="$locale_dir" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8)
wine=$(command -v wine64 || command -v wine)

# GoogleTest from Debian's sources, built with the cross compiler.
gtest_prefix=$build_dir/googletest
cmake -S /usr/src/googletest -B "$build_dir/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" >/dev/null
cmake --build "$build_dir/googletest-build" -j "$jobs"
cmake --install "$build_dir/googletest-build" >/dev/null

# A first start of a new prefix takes long; done once here, not inside a test's deadline.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix"
  timeout 300 "${wine_env[@]}" "$wine" wineboot --init
fi
timeout 120 wineserver -w

cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALPIR_WITH_QT=OFF -DTALPIR_BENCH=OFF \
  -DGTest_DIR="$gtest_prefix/lib/cmake/GTest" "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"

status=0
timeout "$test_deadline" ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" || status=$?
wineserver -k || true
exit "$status"
