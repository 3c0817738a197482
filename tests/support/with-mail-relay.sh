#!/bin/bash
# with-mail-relay.sh COMMAND...
#
# Runs COMMAND in a network namespace of its own with only loopback up, beside aiosmtpd on
# 127.0.0.1 port 25 delivering into the Maildir $BROKER_TEST_MAILDIR: the mail's fixed port
# meets a real relay and never the machine's own. The rest of 127.0.0.0/8 is free for the
# tests' own listeners. Needs root.
set -euo pipefail
[[ -n ${BROKER_MAIL_NETWORK:-} ]] || exec unshare --net env BROKER_MAIL_NETWORK=yes "$BASH" "$0" "$@"
ip link set lo up

work=$(mktemp -d /tmp/broker-mail.XXXXXX)
export BROKER_TEST_MAILDIR=$work/Maildir
# Debian's interpreter: the python3 on PATH may lack Debian's modules.
/usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 -c aiosmtpd.handlers.Mailbox "$BROKER_TEST_MAILDIR" \
    2>"$work/aiosmtpd.log" &
relay=$!
trap 'kill $relay 2>/dev/null; wait; rm -rf "$work"' EXIT
if ! timeout 20 "$BASH" -c 'until exec 3<>/dev/tcp/127.0.0.1/25; do sleep 0.1; done' 2>/dev/null; then
    echo "$0: aiosmtpd did not come up:" >&2
    cat "$work/aiosmtpd.log" >&2
    exit 1
fi
"$@"
