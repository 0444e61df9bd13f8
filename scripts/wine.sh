# A Wine session of its own for the Windows tests. Source this file, then:
#   wine_start   a fresh prefix and a zh_CN.UTF-8 locale in a temporary folder, a persistent
#                wineserver and one warm-up call; exports what scripts/wine-run.sh needs
#   wine_stop    ends that prefix's wineserver (and with it its processes), removes the folder
# Nothing outside the folder is touched, and no other prefix's server is stopped.

WINE_SERVER=/usr/lib/wine/wineserver

wine_start() {
  KESTRIN_WINE_HOME=$(mktemp -d "${TMPDIR:-/tmp}/kestrin-wine.XXXXXX")
  export KESTRIN_WINE_HOME
  export WINEPREFIX=$KESTRIN_WINE_HOME/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export KESTRIN_WINE_LOCALE=$KESTRIN_WINE_HOME/locale
  mkdir -p "$KESTRIN_WINE_LOCALE"
  # Wine takes its ANSI code page from the locale: zh_CN gives 936. Made here, without root.
  localedef -i zh_CN -f UTF-8 "$KESTRIN_WINE_LOCALE/zh_CN.UTF-8" >"$KESTRIN_WINE_HOME/localedef.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/localedef.log" >&2
    return 1
  }
  local run
  run="$(dirname "${BASH_SOURCE[0]}")/wine-run.sh"
  "$run" wineboot -i </dev/null >"$KESTRIN_WINE_HOME/wineboot.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/wineboot.log" >&2
    return 1
  }
  "$WINE_SERVER" -w
  # The server stays up between the tests' processes. The first call starts Wine's services,
  # which keep the caller's output open: its output goes to a file, never to ctest's pipes.
  "$WINE_SERVER" -p </dev/null >/dev/null 2>&1
  "$run" cmd /c exit </dev/null >"$KESTRIN_WINE_HOME/warm-up.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/warm-up.log" >&2
    return 1
  }
}

wine_stop() {
  [ -n "${KESTRIN_WINE_HOME:-}" ] && [ -d "$KESTRIN_WINE_HOME" ] || return 0
  WINEPREFIX=$KESTRIN_WINE_HOME/prefix "$WINE_SERVER" -k 2>/dev/null || true
  WINEPREFIX=$KESTRIN_WINE_HOME/prefix "$WINE_SERVER" -w 2>/dev/null || true
  rm -rf "$KESTRIN_WINE_HOME"
  unset KESTRIN_WINE_HOME
}
