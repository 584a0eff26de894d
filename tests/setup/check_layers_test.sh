#!/usr/bin/env bash
# scripts/check-layers on a tiny tree with one include that breaks each rule, beside
# includes that keep to them: it names each broken one by file and line, and only those.
#   check_layers_test.sh CHECK_LAYERS_SCRIPT
set -euo pipefail
script=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

put() {  # put PATH LINE...: a file of those lines
  mkdir -p "$(dirname "$tree/$1")"
  local path=$1
  shift
  printf '%s\n' "$@" >"$tree/$path"
}
put CMakeLists.txt 'target_sources(portable PRIVATE common/pure.cpp ${generated_cpp})'
put common/pure.cpp '#include "common/pure.h"' '#include <string>'
put common/pure.h '#include <windows.h>'                 # portable: included by a portable source
put common/win32_only.cpp '#include <windows.h>'         # not in the library: may
put backend/supervisor.cpp '#include "common/pure.h"' '#include "app/streamer_app.h"'
put ui/dialog.cpp '#include "app/streamer_app.h"' '#include "backend/supervisor.h"' '#include "app/startup.h"'
put controls/button.cpp '#include "framework/control.h"' '#include "ui/dialog.h"'
put app/startup.cpp '#include "ui/dialog.h"' '#include <windows.h>'
put programs/server/main.cpp '#include "common/pure.h"' '#include "ui/dialog.h"'
put programs/server/socket.cpp '#include <string>' '#include <winsock2.h>'
put programs/encoder/vfw_source.cpp '#include <windows.h>'
put programs/encoder/tests/options_test.cpp '#include "common/pure.h"' '#include "framework/dialog.h"'

rc=0
out=$("$script" "$tree") || rc=$?
expected='backend/supervisor.cpp:2: "app/streamer_app.h": backend/ may include only backend/ and common/, framework/handles.h
common/pure.h:1: <windows.h>: a portable file never includes a Win32 header
controls/button.cpp:2: "ui/dialog.h": controls/ may include only controls/ and common/, framework/
programs/encoder/tests/options_test.cpp:2: "framework/dialog.h": a program'"'"'s test includes only the panel'"'"'s portable files
programs/server/main.cpp:2: "ui/dialog.h": programs/ never include the panel'"'"'s folders
programs/server/socket.cpp:2: <winsock2.h>: a portable file never includes a Win32 header
ui/dialog.cpp:3: "app/startup.h": ui/ may include only ui/ and common/, framework/, controls/, backend/, res/, app/streamer_app.h'
found=$(grep -v '^check-layers:' <<<"$out" || true)
if [ "$rc" != 1 ] || [ "$found" != "$expected" ]; then
  echo "FAIL: exit $rc (1 expected); it said:"
  echo "$out"
  echo "expected:"
  echo "$expected"
  exit 1
fi
echo "check-layers: each broken rule named, nothing else"
