#!/usr/bin/env bash
# Sets up, builds with ASan+UBSan and runs every test; builds the Debian packages and starts the
# window from them unpacked; fuzzes every fuzz target for a short, fixed time; then runs the
# threaded tests under TSan; then builds the program for Windows and
# runs its tests under Wine, the end-to-end run of kestrin.exe among them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# How long each part takes, for keeping the whole run within its budget.
phase_start=$SECONDS
phase() {
  echo "== $1: $((SECONDS - phase_start)) s"
  phase_start=$SECONDS
}

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=address
cmake --build build/asan -j "$jobs"
phase "ASan build"
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 600 -LE e2e
# The window's end-to-end runs, alone: each starts programs that fill both cores.
ctest --test-dir build/asan --output-on-failure --timeout 600 -L e2e
phase "ASan tests"

# The packages as a user installs them: a Release build of what they hold (the sanitizers' build
# is not what users get), its notice page on the end-to-end tests' local port, then unpacked into
# a scratch root and started from there.
notice_port=$(sed -n 's/^KESTRIN_E2E_NOTICE_PORT:STRING=//p' build/asan/CMakeCache.txt)
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_TESTS=OFF \
  -DKESTRIN_NOTICE_URL="http://127.0.0.1:$notice_port/notice.html"
cmake --build build/package -j "$jobs"
(cd build/package && cpack -G DEB)
KESTRIN_PACKAGES=$PWD/build/package build/asan/tests/app/e2e/kestrin_install_test
phase "packages and install test"

# Every change is fuzzed a little: the readers of remote input, 20 s each, the text engine 10 s.
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" all_between resolve_link settings submit_answer
bash scripts/fuzz.sh "${FUZZ_TEXT_SECONDS:-10}" text
phase "fuzzing"

# Overlapping runs share counters and controls: their tests run again under TSan. The build has no
# window, so kestrin-cli's tests (names starting "Cli") also show that it stands without Qt.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=thread -DKESTRIN_BUILD_UI=OFF
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:suppressions=$PWD/scripts/tsan.supp} \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 600 -R 'Concurrent|^Cli'
phase "TSan build and tests"

# The program for Windows, cross-built and run under a Wine of its own (scripts/wine.sh) on a
# virtual screen; the end-to-end run of kestrin.exe is driven by the ASan build's driver.
windows_start=$SECONDS
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Debug \
  -DKESTRIN_BUILD_UI=ON -DKESTRIN_WINE_DRIVER="$PWD/build/asan/tests/app/e2e/kestrin_wine_e2e_test"
cmake --build build/windows -j "$jobs"
. scripts/wine.sh
trap wine_stop EXIT
wine_start
ctest --test-dir build/windows --output-on-failure -j "$jobs" --timeout 300
wine_stop
echo "Windows build and tests under Wine: $((SECONDS - windows_start)) s"
echo "== whole run: $SECONDS s"
