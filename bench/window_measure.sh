#!/usr/bin/env bash
# The window figures in one run, each as a ratio against a baseline measured in the same run, on
# virtual screens (Xvfb):
#   - workers through the real window against the in-memory form (collector, failure lines);
#   - start to ready for use (the interface box clicked and typed into shows the key) against the
#     same layout as plain Qt widgets (bench/plain_window.cpp);
#   - start to first paint, and resident memory after the notice window has closed, against a Qt
#     Widgets hello world showing one Chinese label; memory as root and as a user who is not root
#     (as root, the script makes a system user "kestrin-measure" for that, once, and runs the
#     programs as it through setpriv).
# Takes about four minutes. Usage: bench/window_measure.sh [build folder]  (default
# build/window-measure, a Release build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/window-measure}
jobs=${JOBS:-2}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs" --target kestrin_window_measure kestrin_window_append_measure

"$build/tests/app/e2e/kestrin_window_append_measure"
echo

user_args=()
if [[ $(id -u) -eq 0 ]]; then
  user=kestrin-measure
  id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  home=$(mktemp -d /tmp/kestrin-measure.XXXXXX)
  chown "$user:" "$home"
  trap 'rm -rf "$home"' EXIT
  user_args=(--uid="$(id -u "$user")" --gid="$(id -g "$user")" --home="$home" --user="$user")
fi
"$build/tests/app/e2e/kestrin_window_measure" "${user_args[@]}"
