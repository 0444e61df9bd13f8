#!/usr/bin/env bash
# Runs a Windows program under Wine: the emulator through which ctest starts the Windows build's
# tests. Expects the session that scripts/wine.sh starts (WINEPREFIX, KESTRIN_WINE_LOCALE).
: "${WINEPREFIX:?start a Wine session first: . scripts/wine.sh; wine_start}"
: "${KESTRIN_WINE_LOCALE:?start a Wine session first: . scripts/wine.sh; wine_start}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;wininet=n,b}"
# A Chinese locale makes Wine's ANSI code page 936; LOCPATH lets it name Chinese files too.
wine=(env LOCPATH="$KESTRIN_WINE_LOCALE" LC_ALL=zh_CN.UTF-8 /usr/lib/wine/wine64)

# Under load Wine now and then fails to start a program at all: it ends at once with an error code
# and not a byte of output. Only such a start is tried again (three times in all); a program that
# ran and failed, or printed anything, keeps its result.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
retried=0
for attempt in 1 2 3; do
  "${wine[@]}" "$@" >"$out" 2>"$err"
  rc=$?
  if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 3 ]; then break; fi
  retried=$attempt
done
cat "$out"
cat "$err" >&2
[ "$retried" -gt 0 ] && echo "wine-run: Wine failed to start $1 $retried time(s) without output; started it again" >&2
exit "$rc"
