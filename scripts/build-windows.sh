#!/usr/bin/env bash
# Cross-builds kestrin.exe and kestrin-cli.exe for 64-bit Windows with mingw-w64: static programs
# (the window with its manifest, icon and version resource) that need no DLL beyond Windows' own.
# Usage: scripts/build-windows.sh [build folder] [cmake options...]
#   (default build/windows-release; the notice page's address is the cache variable
#   KESTRIN_NOTICE_URL, e.g. -DKESTRIN_NOTICE_URL=http://kestrin.example/notice.html)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${1:-build/windows-release}
shift $(($# > 0 ? 1 : 0))
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKESTRIN_BUILD_UI=ON -DKESTRIN_BUILD_TESTS=OFF "$@"
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target kestrin kestrin-cli
x86_64-w64-mingw32-strip -o "$build/kestrin.exe" "$build/app/kestrin.exe"
x86_64-w64-mingw32-strip -o "$build/kestrin-cli.exe" "$build/cli/kestrin-cli.exe"

for program in kestrin kestrin-cli; do
  # Only Windows' own libraries may be named: a mingw-w64 runtime DLL (or zlib's, SQLite's,
  # libxml2's) would not be on a user's machine.
  imports=$(x86_64-w64-mingw32-objdump -p "$build/$program.exe" | sed -n 's/^\tDLL Name: //p' | sort -f)
  if grep -qiE 'libstdc|libgcc|libwinpthread|zlib|sqlite|libxml' <<<"$imports"; then
    echo "build-windows: $program.exe needs a DLL of its own:" $imports >&2
    exit 1
  fi
  resources=$(x86_64-w64-mingw32-objdump -h "$build/$program.exe" | awk '$2 == ".rsrc" {print $3}')
  echo "$build/$program.exe: $(stat -c %s "$build/$program.exe") bytes ($((16#${resources:-0})) of resources); uses" $imports
done
