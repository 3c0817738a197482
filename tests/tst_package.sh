#!/usr/bin/env bash
# Unpacks the monitor's .deb ($MONITOR_DEB, else one tools/package builds) into a throwaway
# root and checks what apt and a desktop menu rely on. The trace names the check that failed.
set -euxo pipefail
deb=${MONITOR_DEB:-$("$(dirname "$0")/../tools/package")}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

test -x "$root/usr/bin/tarvik-broker-servicecheck"
desktop=$root/usr/share/applications/tarvik-broker-servicecheck.desktop
desktop-file-validate "$desktop"
icon=$(sed -n 's/^Icon=//p' "$desktop")
find "$root/usr/share/icons/hicolor" -name "$icon.svg" -o -name "$icon.png" | grep -q .

# Worked out from the libraries the program links.
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6 .*libsystemd0 "
