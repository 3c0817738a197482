#!/bin/bash
# tst_monit.sh PROGRAM DEBS: Monit, unpacked from Debian's package in DEBS (downloaded there
# once), runs `PROGRAM --check` on this machine every second and mails aiosmtpd; stopping a
# broker must bring Monit's alert naming the failing check, starting it again the recovery.
# It runs itself again inside tests/support/with-user-manager.sh, whose network has no way to
# the archive; nothing of the machine's own Monit is used or touched.
set -euo pipefail
if [[ -z ${BROKER_TEST_MAILDIR:-} ]]; then
    mkdir -p "$2"
    ls "$2"/monit_*.deb >/dev/null 2>&1 || (cd "$2" && apt-get download -qq monit)
    exec "$(dirname "$0")/support/with-user-manager.sh" "$BASH" "$0" "$@"
fi
work=$(mktemp -d /tmp/broker-monit.XXXXXX)
monit=
trap 'kill $monit 2>/dev/null; rm -rf "$work"' EXIT
dpkg -x "$2"/monit_*.deb "$work"
mkdir -p "$HOME/.config/systemd/user"
printf '[Service]\nExecStart=/bin/sleep infinity\n' >"$HOME/.config/systemd/user/fleet-broker.service"
systemctl --user daemon-reload
systemctl --user start fleet-broker
# Monit gives a check program an environment of its own, without the test's system bus.
cat >"$work/monitrc" <<END
set daemon 1
set pidfile $work/monit.pid
set idfile $work/monit.id
set statefile $work/monit.state
set mailserver 127.0.0.1 port 25
set alert ops@example.org
check program brokers with path "/usr/bin/env DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS $1 --check -H localhost"
    if status != 0 then alert
END
chmod 600 "$work/monitrc"
"$work/usr/bin/monit" -c "$work/monitrc" -I >"$work/monit.log" 2>&1 &
monit=$!
# await TEXT: a mail holding TEXT arrives within a minute.
await() {
    timeout 60 bash -c "until grep -qs '$1' '$BROKER_TEST_MAILDIR'/new/*; do sleep 0.2; done" ||
        { echo "no mail holding \"$1\"; Monit said:" >&2; cat "$work/monit.log" >&2; exit 1; }
}
sleep 3 # a few cycles that find every broker running
systemctl --user stop fleet-broker
await 'Status failed Service brokers'
await 'BROKERS CRITICAL - 1 of 1 stopped: fleet-broker'
systemctl --user start fleet-broker
await 'Status succeeded Service brokers'
