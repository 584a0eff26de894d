#!/usr/bin/env bash
# Installs the browser test's npm packages into the build tree (once), makes
# the test frames and runs the browser checks.
set -euo pipefail
server=$1 make_frames=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
modules=$work/npm
"$here/../../../scripts/browser-packages" "$modules"
mkdir -p "$work/frames"
rm -f "$work/frames"/*.jpg
rm -rf "$work/shots"
"$make_frames" "$work/frames" 120 640 480 85
node "$here/browser_test.mjs" "$server" "$work/frames" "$work/shots" "$modules"
