#!/usr/bin/env bash
# Screenshots of the real control panel under Xvfb, stopped and running (with the
# stand-in children as server.dll and orvane.dll). Usage: panel_screenshots.sh OUTDIR
# (after `make win`). Ends every Wine process it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "${1:-$root/build/screenshots}" && cd "${1:-$root/build/screenshots}" && pwd)
export ORVANE_WINE_ARCH=${ORVANE_WINE_ARCH:-$("$root/scripts/wine-arch")}
bin=$root/build/$ORVANE_WINE_ARCH/tests/win
run=$root/build/panel-demo
rm -rf "$run" && mkdir -p "$run"
cp "$bin/panel_demo.exe" "$run/OrvaneDemo.exe"
cp "$bin/child_stub.exe" "$run/server.dll"
cp "$bin/child_stub.exe" "$run/orvane.dll"
unset DISPLAY
"$root/scripts/wine-session" bash -c '
  set -u
  shot() {  # $1: argument of the demo, $2: picture
    (cd "'"$run"'" && wine OrvaneDemo.exe $1 </dev/null >/dev/null 2>&1 &)
    sleep 6
    import -window root "$2"
    touch "'"$run"'/server.dll.quit" "'"$run"'/orvane.dll.quit"
    wineserver -k 2>/dev/null; sleep 1
    rm -f "'"$run"'"/*.quit "'"$run"'"/*.cmdline
  }
  shot "" "'"$out"'/panel-stopped.png"
  shot start "'"$out"'/panel-running.png"
'
echo "screenshots in $out"
