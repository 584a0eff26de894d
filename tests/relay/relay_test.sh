#!/usr/bin/env bash
# The many-viewers recipe on loopback: the native server and encoder (synthetic camera),
# scripts/relay-hls pulling /demo.mjpg into nginx, and ffprobe reading the HLS playlist
# and decoding frames of the configured size.
#   relay_test.sh SERVER ENCODER WORKDIR
set -uo pipefail
server=$1 encoder=$2 work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work" && mkdir -p "$work"
support=$root/programs/common/tests/test_support.py
port=$(python3 "$support" free-port) http_port=$(python3 "$support" free-port) rtmp_port=$(python3 "$support" free-port)

# The configuration as the panel writes it, with a 320x240 picture.
python3 "$support" panel-config "$port" 320x240 >"$work/orvane.conf"

# The relay's files in a folder of their own outside the checkout: nginx started as root
# runs its workers as another user, who may not pass a parent of the checkout (/root).
relay=$(mktemp -d)
pids=()
finish() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$relay"; }
trap finish EXIT
fail() { echo "relay_test: $*"; for f in "$work"/*.log "$relay"/logs/error.log; do [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done; exit 1; }

(cd "$work" && exec "$server" -f orvane.conf) >"$work/server.log" 2>&1 </dev/null &
pids+=($!)
(cd "$work" && exec "$encoder" -f testsrc -r 15 "http://localhost:$port/feed.ffm") >"$work/encoder.log" 2>&1 </dev/null &
pids+=($!)
RELAY_DIR=$relay "$root/scripts/relay-hls" "http://127.0.0.1:$port/demo.mjpg" "$http_port" "$rtmp_port" \
  >"$work/relay.log" 2>&1 </dev/null &
pids+=($!)

playlist=http://127.0.0.1:$http_port/hls/demo.m3u8
for _ in $(seq 60); do
  [ "$(curl -s --max-time 2 "$playlist" | grep -c '\.ts$')" -ge 2 ] && break
  sleep 0.5
done
curl -s --max-time 2 "$playlist" | grep -q '\.ts$' || fail "no HLS playlist with fragments at $playlist"

# A player that reads the playlist: 30 decoded frames at the size the server was told.
probe=$(timeout 60 ffprobe -v error -read_intervals '%+#30' -count_frames -select_streams v:0 \
  -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$playlist" </dev/null) ||
  fail "ffprobe could not read $playlist"
echo "relay_test: ffprobe read $probe (codec,width,height,frames)"
IFS=, read -r codec width height frames <<<"$probe"
[ "$codec" = h264 ] || fail "codec $codec, not h264"
[ "$width" = 320 ] && [ "$height" = 240 ] || fail "frame size ${width}x$height, not 320x240"
[ "${frames:-0}" -ge 30 ] || fail "only ${frames:-0} frames decoded"
echo "relay_test: passed"
