#!/usr/bin/env bash
# kestrin.exe's figures under Wine, each as a ratio against a plain Win32 window with one Chinese
# label built and started the same way (bench/windows/hello_window.cpp), in one run on the
# virtual screen of a Wine session of its own: the programs' sizes, start to first paint (also
# against the same controls made without the framework, bench/windows/plain_window.cpp), and
# resident memory after the notice window has closed. Takes about two minutes.
# Usage: bench/windows/window_measure.sh [Windows build folder] [Linux build folder] [--starts=N] [--start-only]
#   (default build/windows-measure and build/window-measure, both Release builds)
set -euo pipefail
cd "$(dirname "$0")/../.."
windows=${1:-build/windows-measure}
linux=${2:-build/window-measure}
jobs=${JOBS:-2}
cmake -S . -B "$windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKESTRIN_BUILD_UI=ON -DKESTRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$windows" -j "$jobs" --target kestrin kestrin_e2e kestrin_frame_metrics kestrin_hello_window \
  kestrin_plain_window
x86_64-w64-mingw32-strip -o "$windows/kestrin.exe" "$windows/app/kestrin.exe"
x86_64-w64-mingw32-strip -o "$windows/hello.exe" "$windows/bench/kestrin_hello_window.exe"
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" -j "$jobs" --target kestrin_wine_measure

port=$(sed -n 's/^KESTRIN_WINE_E2E_NOTICE_PORT:STRING=//p' "$windows/CMakeCache.txt")
. scripts/wine.sh
trap wine_stop EXIT
wine_start
"$linux/tests/app/e2e/kestrin_wine_measure" --program="$PWD/$windows/tests/app/e2e/kestrin_e2e.exe" \
  --hello="$PWD/$windows/hello.exe" --plain="$PWD/$windows/bench/kestrin_plain_window.exe" \
  --frame="$PWD/$windows/tests/app/e2e/kestrin_frame_metrics.exe" --port="$port" --size="$PWD/$windows/kestrin.exe" \
  --hello-size="$PWD/$windows/hello.exe" "${@:3}"
