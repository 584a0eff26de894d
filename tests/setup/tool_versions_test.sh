#!/usr/bin/env bash
# scripts/tool-versions on fake tools that print what real ones print: each version line
# is read right, compared as numbers (10 is newer than 8), and a tool that is too old or
# missing fails the check and is named.
#   tool_versions_test.sh TOOL_VERSIONS_SCRIPT
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# What Debian 12's own packages print: all new enough.
declare -A good=(
  [node]="v18.19.0"
  [chromium]="Chromium 120.0.6099.224 built on Debian GNU/Linux 12 (bookworm)"
  [wine]="wine-8.0 (Debian 8.0~repack-4)"
  [i686-w64-mingw32-g++-posix]="12-posix"
  [x86_64-w64-mingw32-g++-posix]="12-posix"
  [cmake]="cmake version 3.25.1"
)

# check NAME EXPECTED-STATUS EXPECTED-WORDS TOOL=LINE...: fake tools print the good lines
# except those given (LINE "-" removes the tool); the check must exit with the status and
# say the words.
check() {
  local name=$1 status=$2 words=$3 dir="$work/$1" tool out rc=0
  shift 3
  mkdir -p "$dir"
  declare -A lines=()
  for tool in "${!good[@]}"; do lines[$tool]=${good[$tool]}; done
  for arg in "$@"; do lines[${arg%%=*}]=${arg#*=}; done
  for tool in "${!lines[@]}"; do
    [ "${lines[$tool]}" = "-" ] && continue
    printf '#!/bin/sh\necho "%s"\n' "${lines[$tool]}" >"$dir/$tool"
    chmod +x "$dir/$tool"
  done
  for tool in grep sort head; do ln -s "$(command -v $tool)" "$dir/$tool"; done
  out=$(PATH=$dir /bin/bash "$script" 2>&1) || rc=$?
  if [ "$rc" != "$status" ] || [[ "$out" != *"$words"* ]]; then
    echo "FAIL $name: exit $rc, said: $out"; failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check debian_12 0 ""
check newer_everywhere 0 "" node=v22.11.0 "wine=wine-10.0 (Debian 10.0~repack-6)" \
  "chromium=Chromium 156.0.8078.129 built on Debian GNU/Linux 13 (trixie)" i686-w64-mingw32-g++-posix=14-posix
check debian_11_node 1 "Node.js 12.22.12 is too old; 18 or newer" node=v12.22.12
check debian_11_wine 1 "Wine 5.0.3 is too old; 8.0 or newer" "wine=wine-5.0.3 (Debian 5.0.3-3)"
check old_mingw 1 "MinGW-w64 g++ (x86-64) 10 is too old; 12 or newer" x86_64-w64-mingw32-g++-posix=10-posix
check old_cmake 1 "CMake 3.18.4 is too old; 3.20 or newer" "cmake=cmake version 3.18.4"
check old_chromium 1 "Chromium 90.0.4430.212 is too old" "chromium=Chromium 90.0.4430.212 built on Debian GNU/Linux 11 (bullseye)"
check no_chromium 1 "Chromium is missing (chromium not found)" chromium=-
check unreadable_version 1 "cannot tell the version of Node.js" node=unknown

[ $failures = 0 ] && echo "all tool version cases passed" || exit 1
