#!/bin/bash
# tst_accessibility.sh PROGRAM: the window as a screen reader meets it. On a private X display
# and session bus, beside the accessibility bus that a desktop session starts, the program's
# window is read through AT-SPI as Orca reads it: what each field, check box and button is
# called, what labels it, and what the status line and the report box are called.
set -euo pipefail
[[ -n ${BROKER_TEST_DISPLAY:-} ]] || exec env BROKER_TEST_DISPLAY=yes xvfb-run -a dbus-run-session -- "$BASH" "$0" "$@"
# The session's accessibility bus is up before any program looks for it.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
log=$(mktemp /tmp/broker-a11y.XXXXXX)
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$1" >"$log" 2>&1 &
program=$!
trap 'kill $program 2>/dev/null; rm -f "$log"' EXIT
# Debian's interpreter: the python3 on PATH may lack Debian's modules.
/usr/bin/python3 - <<'END'
import pyatspi, sys, time

# Role, name, the label it is labelled by, and description, as Orca speaks them.
wanted = {
    ('text', 'Broker Server Name/IP', 'Broker Server Name/IP', ''),
    ('text', 'Notification eMail Address', 'Notification eMail Address', ''),
    ('text', 'SMTP Server Name/IP', 'SMTP Server Name/IP', ''),
    ('text', 'Interval (minutes)', 'Interval (minutes)', ''),
    ('text', 'Broker Service Report', None, ''),
    ('label', 'eMail Status', 'eMail Status', 'N/A'),
    ('check box', 'Keep Running', None, ''),
    ('check box', 'Send eMails', None, ''),
    ('push button', 'Check Broker Instances', None, ''),
    ('push button', 'Exit', None, ''),
}

def window():
    for _ in range(300):  # 30 seconds at most
        for app in pyatspi.Registry.getDesktop(0):
            if app and app.name == 'Tarvik Broker ServiceCheck' and app.childCount:
                return app[0]
        time.sleep(0.1)
    sys.exit('the window never came to the accessibility bus')

def heard(control):
    labels = [relation.getTarget(0).name for relation in control.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    return (control.getRoleName(), control.name, labels[0] if labels else None, control.description)

spoken = {heard(control) for control in window()}
if not wanted <= spoken:
    sys.exit(f'not heard: {sorted(wanted - spoken, key=str)}\nheard: {sorted(spoken, key=str)}')
END
