#!/usr/bin/env bash
# The test page in a browser without Flash: the page the panel writes, opened as a file
# (as the shell opens it) in headless Chromium beside the real server and encoder with
# the synthetic camera, must show the live MJPEG picture in the embed's place, and the
# picture must change over time; the SWF stream must not be asked for as well. While
# the one viewer place is taken the page says so under the picture, and it shows the
# picture by itself once the place is free. First, the page's script in stand-ins for
# browsers with and without Flash.
#   test_page_browser.sh PANEL_FILES SERVER ENCODER WORK
# Exits 77 (skipped) when the server does not serve /demo.mjpg.
set -uo pipefail
panel_files=$1 server=$2 encoder=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
width=320 height=240
rm -rf "$work" && mkdir -p "$work"
port=$(python3 "$root/programs/common/tests/test_support.py" free-port)
"$panel_files" "$work" "$port" "$width" "$height" || exit 1
node "$here/flash_branch.js" "$work/demo.html" "http://127.0.0.1:$port/demo.mjpg" $width $height || exit 1

pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap finish EXIT
"$server" -f "$work/orvane.conf" >"$work/server.log" 2>&1 </dev/null &
pids+=($!)
up=0
for _ in $(seq 50); do
  curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/" && { up=1; break; }
  sleep 0.1
done
[ $up = 1 ] || { echo "FAIL the server did not answer on port $port"; cat "$work/server.log"; exit 1; }
code=$(curl -s -o /dev/null --max-time 1 -w '%{http_code}' "http://127.0.0.1:$port/demo.mjpg")
if [ "$code" = 404 ]; then
  echo "SKIP: this server does not serve /demo.mjpg yet (404), so the page has no picture to show"
  exit 77
fi

"$encoder" -f testsrc -r 15 -i 0 -sameq -vhook "watermark -f $root/res/logo.gif" \
  "http://localhost:$port/feed.ffm" >"$work/encoder.log" 2>&1 </dev/null &
pids+=($!)
failures=0
check() {
  if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# Three screenshots of the one page, 1.5 s apart, after it has played for 4 s.
"$root/scripts/viewer-screenshot" "file://$work/demo.html" "$work/page.png" 4 3 1.5 || exit 1
for i in 1 2; do
  # What differs between two shots, as white on black.
  diff=$work/diff-$i.png
  convert "$work/page-$i.png" "$work/page-$((i + 1)).png" -compose difference -composite -colorspace gray \
    -threshold 5% "$diff" || exit 1
  changed=$(convert "$diff" -format '%[fx:round(mean*w*h)]' info:)
  box=$(convert "$diff" -format '%@' info:)
  echo "shots $i and $((i + 1)): $changed pixels differ, within $box"
  check "the picture changes between shots $i and $((i + 1))" '[ "$changed" -gt $((width * height / 50)) ]'
  check "what changes fits the picture's ${width}x$height" \
    '[[ $box =~ ^([0-9]+)x([0-9]+) ]] && [ "${BASH_REMATCH[1]}" -le $width ] && [ "${BASH_REMATCH[2]}" -le $height ]'
done
# The first request is the probe above.
check "the page asked the server for /demo.mjpg" '[ "$(grep -c "GET /demo.mjpg" "$work/server.log")" -ge 2 ]'
check "the page did not ask for /demo.swf as well" '! grep -q "/demo.swf" "$work/server.log"'

# The place taken by another viewer, then freed (screenshots place-taken.png, place-freed.png).
NODE_PATH=$root/build/npm/node_modules node "$here/place_taken.js" "file://$work/demo.html" \
  "http://127.0.0.1:$port/demo.mjpg" "$work" || failures=$((failures + 1))
[ $failures = 0 ] || { echo "server log:"; cat "$work/server.log"; }
exit $((failures > 0))
