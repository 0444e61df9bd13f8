#!/bin/sh
# Runs a Windows program under Wine: the emulator through which ctest starts the Windows build's
# tests. Expects the session that scripts/wine.sh starts (WINEPREFIX, KESTRIN_WINE_LOCALE).
: "${WINEPREFIX:?start a Wine session first: . scripts/wine.sh; wine_start}"
: "${KESTRIN_WINE_LOCALE:?start a Wine session first: . scripts/wine.sh; wine_start}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A Chinese locale makes Wine's ANSI code page 936; LOCPATH lets it name Chinese files too.
exec env LOCPATH="$KESTRIN_WINE_LOCALE" LC_ALL=zh_CN.UTF-8 /usr/lib/wine/wine64 "$@"
