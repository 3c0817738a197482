#!/bin/bash
# with-service-prefix.sh MONITOR.exe SERVICE.exe PROGRAM [ARGUMENT...]: runs the Windows
# PROGRAM under tools/wine-run in a Wine prefix of its own, whose server stays up between
# Wine processes, so that a service it starts keeps running after sc.exe has ended. The
# program finds the monitor and the broker service's program as Windows paths in
# BROKER_MONITOR_EXE and BROKER_SERVICE_EXE. Wine runs with German regional settings in
# Newfoundland's time zone; afterwards every mail in $BROKER_TEST_MAILDIR must carry a Date
# header that a mail reader takes for the moment the relay took the mail. Needs a display
# for the monitor's window.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
BROKER_MONITOR_EXE=$(windows_path "$1") BROKER_SERVICE_EXE=$(windows_path "$2")
export BROKER_MONITOR_EXE BROKER_SERVICE_EXE
shift 2
WINEPREFIX=$(mktemp -d /tmp/broker-wine.XXXXXX)
export WINEPREFIX
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$WINEPREFIX.lock" "$WINEPREFIX.locales"' EXIT
# Day and month names of another language, and a zone half an hour off the hour: neither may
# reach a mail as it is. The locale is built for Wine alone, not installed on the machine.
mkdir "$WINEPREFIX.locales"
localedef -i de_DE -f UTF-8 "$WINEPREFIX.locales/de_DE.UTF-8"
export LOCPATH=$WINEPREFIX.locales
export LC_ALL=de_DE.UTF-8 TZ=America/St_Johns
# The prefix is made before the persistent server starts: a server already up while the
# prefix is made ends with two service managers, each with its own half of the services.
"$here/../../tools/wine-run" "$WINEPREFIX" cmd /c exit
/usr/lib/wine/wineserver -p
# wine-run stops the server again at its end.
"$here/../../tools/wine-run" "$WINEPREFIX" "$@"
# Debian's interpreter: the python3 on PATH may lack Debian's modules.
/usr/bin/python3 - "$BROKER_TEST_MAILDIR/new" <<'END'
import email, email.utils, pathlib, sys
for mail in pathlib.Path(sys.argv[1]).iterdir():
    header = email.message_from_bytes(mail.read_bytes())['Date']
    date = email.utils.parsedate_to_datetime(header)
    if email.utils.format_datetime(date) != header or abs(date.timestamp() - mail.stat().st_mtime) > 300:
        sys.exit(f'{mail.name}: "Date: {header}" is not when it was delivered, as RFC 5322 writes it')
END
