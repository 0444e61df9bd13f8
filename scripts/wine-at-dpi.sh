#!/usr/bin/env bash
# Runs a Windows program under the Wine session (scripts/wine.sh) with the screen at DPI $1:
#   scripts/wine-at-dpi.sh 144 program.exe [arguments]
# Wine takes the DPI from the prefix's LogPixels when a program starts, so the setting holds for
# the whole prefix while the program runs: ctest runs such a test alone (RUN_SERIAL). 96 again
# afterwards, whatever the program did.
set -u
dpi=$1
shift
run="$(dirname "${BASH_SOURCE[0]}")/wine-run.sh"
set_dpi() {
  "$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
}
set_dpi "$dpi" || {
  echo "wine-at-dpi: cannot set LogPixels to $dpi" >&2
  exit 1
}
trap 'set_dpi 96' EXIT
"$run" "$@"
