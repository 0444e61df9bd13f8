#!/usr/bin/env bash
# Sets up, builds a Release and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_TESTS=OFF
cmake --build build/release -j "$(nproc)"

program=build/release/app/kestrin
if [[ ! -x "$program" ]]; then
  echo "Built everything; there is no window yet, so there is nothing to start."
  exit 0
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found. Kestrin is a desktop program; to run it without a screen use:"
  echo "  xvfb-run -a -s '-screen 0 1920x1080x24' $program"
  exit 1
fi
exec "$program"
