#!/usr/bin/env bash
# Start-up time and memory of the program's windows, measured on a virtual screen (Xvfb):
# exec until the main window is mapped and painted, and the resident memory of the program and
# its QtWebEngine helpers with the notice window open and after it has closed (about a minute).
# Usage: bench/window_measure.sh [build folder]   (default build/window-measure, a Release build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/window-measure}
jobs=${JOBS:-2}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs" --target kestrin_window_measure
exec "$build/tests/app/e2e/kestrin_window_measure"
