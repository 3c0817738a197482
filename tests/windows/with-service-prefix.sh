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
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$WINEPREFIX".{lock,locales,debug}' EXIT
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
# wine-run stops the server again at its end. Wine writes each ReportEventW call (type, event
# id) and its strings to its eventlog channel: what the monitor recorded is read there.
debug=$WINEPREFIX.debug
status=0
WINEDEBUG=-all,+eventlog,fixme+advapi "$here/../../tools/wine-run" "$WINEPREFIX" "$@" 2>"$debug" || status=$?
grep -v '^[0-9a-f]*:\(trace\|fixme\|warn\|err\):' "$debug" >&2 || true
[[ $status -eq 0 ]] || exit $status
# Debian's interpreter: the python3 on PATH may lack Debian's modules.
/usr/bin/python3 - "$BROKER_TEST_MAILDIR/new" "$debug" <<'END'
import email, email.utils, pathlib, re, sys
# Each record as (type, event id, first string): the relay's outage as it began and ended, the
# broker's stop, and the start, in the order they were written.
records, calls = [], {}
for line in open(sys.argv[2], errors='replace'):
    if call := re.match(r'(\w+):fixme:advapi:ReportEventW \(\w+,(0x\w+),0x\w+,(0x\w+),', line):
        calls[call[1]] = (call[2], int(call[3], 16))
    elif (text := re.match(r'(\w+):\w+:eventlog:ReportEventW L"(.*)"$', line)) and text[1] in calls:
        records.append(calls.pop(text[1]) + (text[2],))
wanted = [('0x0004', 1, 'Monitoring of localhost started.'),
          ('0x0002', 4, 'Broker service tarvik-broker-idle on localhost is stopped.'),
          ('0x0001', 9, 'Mail through 127.0.0.2 fails: SMTP service error, no connection with 127.0.0.2: '),
          ('0x0004', 10, 'Mail through localhost is delivered; the outage is over.')]
found = [next((r for r in records if r[:2] == w[:2] and r[2].startswith(w[2])), None) for w in wanted]
if None in found or found != sorted(found, key=records.index):
    sys.exit(f'the records written were not as wanted: {records}')
for mail in pathlib.Path(sys.argv[1]).iterdir():
    header = email.message_from_bytes(mail.read_bytes())['Date']
    date = email.utils.parsedate_to_datetime(header)
    if email.utils.format_datetime(date) != header or abs(date.timestamp() - mail.stat().st_mtime) > 300:
        sys.exit(f'{mail.name}: "Date: {header}" is not when it was delivered, as RFC 5322 writes it')
END
