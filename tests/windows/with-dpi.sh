#!/bin/bash
# with-dpi.sh DPI PROGRAM [ARGUMENT...]: runs the Windows PROGRAM under tools/wine-run in a Wine
# prefix of its own whose screen has DPI dots per inch, as Windows' display scaling sets it
# (144 for 150%, 192 for 200%). The program finds the scale in BROKER_TEST_DPI. Needs a display.
set -euo pipefail
wine_run=$(cd "$(dirname "$0")/../../tools" && pwd)/wine-run
export BROKER_TEST_DPI=$1
shift
prefix=$(mktemp -d /tmp/broker-dpi.XXXXXX)
trap 'rm -rf "$prefix" "$prefix.lock"' EXIT
"$wine_run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$BROKER_TEST_DPI" /f >/dev/null
"$wine_run" "$prefix" "$@"
