# A Wine session of its own for the Windows tests. Source this file, then:
#   wine_start   a fresh prefix and a zh_CN.UTF-8 locale in a temporary folder, a virtual screen
#                (Xvfb, 1920 x 1080) for the windows, a persistent wineserver and one warm-up
#                call; exports what scripts/wine-run.sh needs and DISPLAY
#   wine_stop    ends that prefix's wineserver (and with it its processes) and the screen,
#                removes the folder
# Nothing outside the folder is touched, and no other prefix's server is stopped.
#
# The prefix is set up as the window tests need it: Wine places the windows and draws their frames
# itself (there is no window manager to wait for when a window goes), SimSun is stood in for by AR PL UMing CN, a Song face of SimSun's metrics
# (Wine has no SimSun, and its fallback sans face is wider), and addresses that the programs
# hand to the shell's browser are written to $KESTRIN_WINE_OPENED instead of opening anything.

WINE_SERVER=/usr/lib/wine/wineserver

wine_start() {
  KESTRIN_WINE_HOME=$(mktemp -d "${TMPDIR:-/tmp}/kestrin-wine.XXXXXX")
  export KESTRIN_WINE_HOME
  # A wininet.dll beside a program is taken before Wine's own, as Windows takes it: the tests that
  # plant one there show that the programs never load it.
  export WINEPREFIX=$KESTRIN_WINE_HOME/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;wininet=n,b"
  export KESTRIN_WINE_LOCALE=$KESTRIN_WINE_HOME/locale
  mkdir -p "$KESTRIN_WINE_LOCALE"
  # Wine takes its ANSI code page from the locale: zh_CN gives 936. Made here, without root.
  localedef -i zh_CN -f UTF-8 "$KESTRIN_WINE_LOCALE/zh_CN.UTF-8" >"$KESTRIN_WINE_HOME/localedef.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/localedef.log" >&2
    return 1
  }
  # The screen first: Wine's desktop takes its size from the display it starts on.
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$KESTRIN_WINE_HOME/display" \
    >"$KESTRIN_WINE_HOME/xvfb.log" 2>&1 </dev/null &
  KESTRIN_WINE_XVFB=$!
  for _ in $(seq 1 100); do
    [ -s "$KESTRIN_WINE_HOME/display" ] && break
    sleep 0.1
  done
  [ -s "$KESTRIN_WINE_HOME/display" ] || {
    echo "wine_start: Xvfb did not start" >&2
    cat "$KESTRIN_WINE_HOME/xvfb.log" >&2
    return 1
  }
  export DISPLAY=":$(head -1 "$KESTRIN_WINE_HOME/display")"
  export KESTRIN_WINE_OPENED=$KESTRIN_WINE_HOME/opened-addresses
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$KESTRIN_WINE_OPENED" >"$KESTRIN_WINE_HOME/browser"
  chmod +x "$KESTRIN_WINE_HOME/browser"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n"Managed"="N"\n\n' \
    >"$KESTRIN_WINE_HOME/setup.reg"
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"SimSun"="AR PL UMing CN"\n\n' >>"$KESTRIN_WINE_HOME/setup.reg"
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]\n"Browsers"="%s"\n' "$KESTRIN_WINE_HOME/browser" \
    >>"$KESTRIN_WINE_HOME/setup.reg"

  local run
  run="$(dirname "${BASH_SOURCE[0]}")/wine-run.sh"
  "$run" wineboot -i </dev/null >"$KESTRIN_WINE_HOME/wineboot.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/wineboot.log" >&2
    return 1
  }
  "$run" regedit /S "$(winepath_of "$KESTRIN_WINE_HOME/setup.reg")" </dev/null >"$KESTRIN_WINE_HOME/regedit.log" 2>&1 || {
    cat "$KESTRIN_WINE_HOME/regedit.log" >&2
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

# A Unix path as Wine names it: the whole file system is drive Z:.
winepath_of() {
  printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
}

wine_stop() {
  [ -n "${KESTRIN_WINE_HOME:-}" ] && [ -d "$KESTRIN_WINE_HOME" ] || return 0
  WINEPREFIX=$KESTRIN_WINE_HOME/prefix "$WINE_SERVER" -k 2>/dev/null || true
  WINEPREFIX=$KESTRIN_WINE_HOME/prefix "$WINE_SERVER" -w 2>/dev/null || true
  if [ -n "${KESTRIN_WINE_XVFB:-}" ]; then
    kill "$KESTRIN_WINE_XVFB" 2>/dev/null || true
    wait "$KESTRIN_WINE_XVFB" 2>/dev/null || true
    unset KESTRIN_WINE_XVFB
  fi
  rm -rf "$KESTRIN_WINE_HOME"
  unset KESTRIN_WINE_HOME
}
