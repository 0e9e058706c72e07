#!/usr/bin/env bash
# Builds Cellforge for Windows with MinGW-w64 (x86_64 and i686) and runs the
# x86_64 test suite under Wine. Installs only the packages that are missing.
#
#   scripts/windows.sh
#
# The i686 build is a build check only: 32-bit Wine would pull in 32-bit
# host packages.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

need=()
for pkg in cmake ninja-build googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# GoogleTest for Windows, built from Debian's googletest sources.
gtest=build-gtest-mingw-x86_64
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$PWD/$gtest/install" >/dev/null
  cmake --build "$gtest/build"
  cmake --install "$gtest/build" >/dev/null
fi

cmake --preset mingw-i686
cmake --build --preset mingw-i686
cmake --preset mingw-x86_64
cmake --build --preset mingw-x86_64

# A fresh prefix, its server started detached from our pipes: a wineserver
# that inherits ctest's output pipe keeps ctest waiting for minutes.
export WINEPREFIX=$PWD/build-mingw-x86_64/wineprefix WINEDEBUG=-all CELLFORGE_NO_MSGBOX=1
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
trap '/usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true' EXIT
/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1

# Each test counts only with gtest's "[  PASSED  ]" line (tests/CMakeLists.txt),
# and the suite only when every test program was run.
programs=$(ls build-mingw-x86_64/tests/*_test.exe | wc -l)
listed=$(ctest --preset mingw-x86_64 --show-only=json-v1 | grep -c '"name" *: *"[a-z_]*_test"' || true)
if [ "$programs" -eq 0 ] || [ "$listed" -ne "$programs" ]; then
  echo "windows.sh: $programs test programs built but $listed tests listed" >&2
  exit 1
fi
ctest --preset mingw-x86_64
echo "windows.sh: $programs Windows test programs passed under Wine in $(($(date +%s) - start)) s"
