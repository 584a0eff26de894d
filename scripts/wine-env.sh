# Sourced by the Wine scripts: the private prefix and the settings every Wine run shares.
# ORVANE_WINE_ARCH picks 32-bit (win32) or 64-bit (win64) Wine; unset, the host decides
# (scripts/wine-arch). Each architecture has a prefix of its own.
orvane_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ORVANE_WINE_ARCH=${ORVANE_WINE_ARCH:-$("$orvane_root/scripts/wine-arch")}
export ORVANE_WINE_ARCH
case $ORVANE_WINE_ARCH in
  win32) ;;
  win64)
    # Debian's `wine` front script takes the 32-bit loader whenever wine32 is installed,
    # and `wineboot` goes through it: put 64-bit `wine` and `wineserver` first on PATH.
    orvane_wine64_bin=$orvane_root/build/wine64-bin
    if [ ! -x "$orvane_wine64_bin/wineserver" ]; then
      mkdir -p "$orvane_wine64_bin"
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$orvane_wine64_bin/wine.$$"
      printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' >"$orvane_wine64_bin/wineserver.$$"
      chmod +x "$orvane_wine64_bin"/*.$$
      mv "$orvane_wine64_bin/wine.$$" "$orvane_wine64_bin/wine"
      mv "$orvane_wine64_bin/wineserver.$$" "$orvane_wine64_bin/wineserver"
    fi
    export PATH=$orvane_wine64_bin:$PATH
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 ;;
  *) echo "wine-env: ORVANE_WINE_ARCH must be win32 or win64, not '$ORVANE_WINE_ARCH'" >&2; return 1 ;;
esac
export WINEARCH=$ORVANE_WINE_ARCH
export WINEPREFIX=${ORVANE_WINEPREFIX:-$orvane_root/build/wineprefix-$ORVANE_WINE_ARCH}
export WINEDEBUG=${WINEDEBUG:--all}
# avicap32=n,b: a program with the tests' stand-in capture driver beside it loads that
# one (Wine's own registers no capture class); elsewhere the builtin is taken as before.
# ORVANE_BUILTIN_AVICAP32=1 keeps Wine's own even there, for tests that must run without it.
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
[ -n "${ORVANE_BUILTIN_AVICAP32:-}" ] || WINEDLLOVERRIDES+=";avicap32=n,b"
export WINEDLLOVERRIDES

# A fresh prefix costs ~10 s; build it once, under a lock so parallel runs wait.
wine_prepare_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.orvane-ready" ] && exit 0
    rm -rf "$WINEPREFIX"
    wine wineboot.exe -i </dev/null >/dev/null 2>&1
    # On a bare X server every hide would otherwise stall for two seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.orvane-ready"
  ) 9>"$WINEPREFIX.lock"
}

# Starts a private Xvfb when there is no display; sets ORVANE_XVFB_PID.
wine_ensure_display() {
  ORVANE_XVFB_PID=""
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    ORVANE_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  done
  echo "wine-env: could not start Xvfb" >&2
  return 1
}
