#!/bin/bash
# with-service-prefix.sh MONITOR.exe SERVICE.exe PROGRAM [ARGUMENT...]: runs the Windows
# PROGRAM under tools/wine-run in a Wine prefix of its own, whose server stays up between
# Wine processes, so that a service it starts keeps running after sc.exe has ended. The
# program finds the monitor and the broker service's program as Windows paths in
# BROKER_MONITOR_EXE and BROKER_SERVICE_EXE. Needs a display for the monitor's window.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
BROKER_MONITOR_EXE=$(windows_path "$1") BROKER_SERVICE_EXE=$(windows_path "$2")
export BROKER_MONITOR_EXE BROKER_SERVICE_EXE
shift 2
WINEPREFIX=$(mktemp -d /tmp/broker-wine.XXXXXX)
export WINEPREFIX
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"' EXIT
# The prefix is made before the persistent server starts: a server already up while the
# prefix is made ends with two service managers, each with its own half of the services.
"$here/../../tools/wine-run" "$WINEPREFIX" cmd /c exit
/usr/lib/wine/wineserver -p
# wine-run stops the server again at its end.
"$here/../../tools/wine-run" "$WINEPREFIX" "$@"
