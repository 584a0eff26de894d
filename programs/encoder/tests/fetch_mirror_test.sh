#!/usr/bin/env bash
# The Debian mirror that fetch-libjpeg-turbo takes from the machine's apt configuration,
# on small fake configurations of both formats (no network).
#   fetch_mirror_test.sh FETCH_SCRIPT
set -euo pipefail
fetch=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME EXPECTED FILE CONTENT [FILE CONTENT ...]: writes the files (paths under a
# fresh apt directory) and compares the mirror printed; EXPECTED "" means none is found.
check() {
    local name=$1 expected=$2 etc got rc=0
    shift 2
    etc="$work/$name"
    mkdir -p "$etc/sources.list.d"
    while [ $# -gt 0 ]; do
        printf '%b' "$2" >"$etc/$1"
        shift 2
    done
    got=$("$fetch" --print-mirror "$etc" 2>&1) || rc=$?
    if [ -z "$expected" ] && [ "$rc" = 0 ]; then
        echo "FAIL $name: found '$got' where there is no mirror"; failures=$((failures + 1))
    elif [ -n "$expected" ] && { [ "$rc" != 0 ] || [ "$got" != "$expected" ]; }; then
        echo "FAIL $name: got '$got' (exit $rc), expected '$expected'"; failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

# What Debian's installer writes: one-line entries only, security first, no .sources file.
check installer_sources_list "http://ftp.de.debian.org/debian/" \
    sources.list "#deb cdrom:[Debian GNU/Linux 12.5.0 _Bookworm_]/ bookworm main\n\ndeb http://security.debian.org/debian-security bookworm-security main\ndeb-src http://security.debian.org/debian-security bookworm-security main\ndeb http://ftp.de.debian.org/debian/ bookworm main non-free-firmware\n"
check one_line_with_options "https://mirror.example.org/debian" \
    sources.list "# comment\n  deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] https://mirror.example.org/debian bookworm main\n"
check list_file_in_parts "http://parts.example.org/debian" \
    sources.list "" sources.list.d/mirror.list "deb http://parts.example.org/debian bookworm main\n"
check deb822_container_image "http://deb.debian.org/debian" \
    sources.list.d/debian.sources "Types: deb\n# http://snapshot.debian.org/archive/debian/20250520T000000Z\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\nTypes: deb\nURIs: http://deb.debian.org/debian-security\nSuites: bookworm-security\nComponents: main\n"
check deb822_security_and_disabled_first "http://second.example.org/debian" \
    sources.list.d/debian.sources "Types: deb\nURIs: http://security.example.org/debian-security\nSuites: bookworm-security\nComponents: main\n\nTypes: deb-src\nURIs: http://src-only.example.org/debian\nSuites: bookworm\nComponents: main\n\nEnabled: no\nTypes: deb\nURIs: http://off.example.org/debian\nSuites: bookworm\nComponents: main\n\ntypes: deb deb-src\nuris: http://second.example.org/debian http://third.example.org/debian\nsuites: bookworm\ncomponents: main\n"
# apt reads sources.list before sources.list.d, and the parts by name, of either format.
check apt_order "http://a.example.org/debian" \
    sources.list.d/b.sources "Types: deb\nURIs: http://b.example.org/debian\nSuites: bookworm\nComponents: main\n" \
    sources.list.d/a.list "deb http://a.example.org/debian bookworm main\n"
check files_of_other_names_are_not_read "" \
    sources.list.d/debian.sources.disabled "Types: deb\nURIs: http://off.example.org/debian\nSuites: bookworm\n" \
    sources.list.d/old.list.save "deb http://off.example.org/debian bookworm main\n"
check only_security_and_cdrom "" \
    sources.list "deb cdrom:[Debian]/ bookworm main\ndeb http://security.debian.org/debian-security bookworm-security main\n"
check nothing_configured ""

[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
