#!/bin/bash
# with-user-manager.sh COMMAND...
#
# Runs COMMAND in the private network of with-mail-relay.sh, beside a private systemd user
# manager whose bus also stands in for the system bus (DBUS_SYSTEM_BUS_ADDRESS), so the
# unmodified service source reads it as "localhost", and beside a private sshd on port 22 of
# 127.0.0.1 and 127.0.0.2 whose one accepted key, root's, is forced to bridge to that bus,
# the way a remote server's manager is reached. Unit files go to $HOME/.config/systemd/user;
# `systemctl --user` drives the manager, whose process id is $BROKER_TEST_MANAGER_PID.
# Root's known_hosts holds the sshd's key for 127.0.0.1, another key for localhost and
# nothing for 127.0.0.2. A journal of its own, in memory, takes what the programs record:
# `journalctl -D $BROKER_TEST_JOURNAL` reads it. Needs root: it runs in private mount and network namespaces and
# gives the manager cgroups of its own, so nothing of the machine's is touched.
set -euo pipefail

[[ -n ${BROKER_TEST_MAILDIR:-} ]] || exec "$(dirname "$0")/with-mail-relay.sh" "$BASH" "$0" "$@"
[[ -n ${BROKER_TEST_NAMESPACE:-} ]] || exec unshare --mount --propagation private env BROKER_TEST_NAMESPACE=yes "$BASH" "$0" "$@"

work=$(mktemp -d /tmp/broker-manager.XXXXXX)
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
mkdir -m 700 "$HOME" "$XDG_RUNTIME_DIR" "$work/dotssh"
mkdir -p "$HOME/.config/systemd/user/dbus.service.d"

# The manager runs the bus itself, as in a login session (dbus.socket, dbus.service), with a
# system bus's limit on the replies one connection may wait for.
cat > "$HOME/.config/broker-test-bus.conf" <<'END'
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <limit name="max_replies_per_connection">128</limit>
</busconfig>
END
cat > "$HOME/.config/systemd/user/dbus.service.d/limit.conf" <<'END'
[Service]
ExecStart=
ExecStart=/usr/bin/dbus-daemon --config-file=%h/.config/broker-test-bus.conf --address=systemd: --nofork --nopidfile --systemd-activation --syslog-only
END

# A private /run: the manager looks for /run/systemd/system, sshd wants /run/sshd, the journal
# has its socket there, and all of them belong to the machine's own services.
mount --no-mtab -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/systemd/system /run/systemd/journald.conf.d /run/sshd /run/lock

# A user manager that finds itself in the root cgroup moves every process of the machine
# into its init.scope, so it gets a cgroup of its own below ours in each hierarchy it uses.
hierarchies=() cgroups=()
if [[ -d /sys/fs/cgroup/systemd ]]; then
    hierarchies+=(/sys/fs/cgroup/systemd:name=systemd)
    [[ -f /sys/fs/cgroup/unified/cgroup.procs ]] && hierarchies+=(/sys/fs/cgroup/unified:)
elif [[ -f /sys/fs/cgroup/cgroup.controllers ]]; then
    hierarchies+=(/sys/fs/cgroup:)
fi
for hierarchy in "${hierarchies[@]}"; do
    own=$(awk -F: -v key="${hierarchy#*:}" '$2 == key { print $3 }' /proc/self/cgroup)
    cgroups+=("${hierarchy%%:*}${own%/}/broker-manager.$$")
done
[[ ${#cgroups[@]} -gt 0 ]] || { echo "$0: no cgroup hierarchy for the manager" >&2; exit 2; }

# The manager need not stop its units gracefully: every process in its cgroups is killed.
cleanup() {
    local cgroup processes tries
    [[ ! -s $work/sshd.pid ]] || kill "$(cat "$work/sshd.pid")" 2>/dev/null || true
    [[ -z ${journald:-} ]] || kill "$journald" 2>/dev/null || true
    for cgroup in "${cgroups[@]}"; do
        for ((tries = 0; tries < 100; tries++)); do
            processes=$(find "$cgroup" -name cgroup.procs -exec cat {} + 2>/dev/null || true)
            [[ -n $processes ]] || break
            kill -KILL $processes 2>/dev/null || true
            sleep 0.1
        done
        find "$cgroup" -depth -type d -exec rmdir {} + 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# A journal of its own, in memory only, which the tests read back with journalctl -D; the
# machine's journal sees nothing.
printf '[Journal]\nStorage=volatile\nReadKMsg=no\nForwardToSyslog=no\nForwardToWall=no\n' \
    > /run/systemd/journald.conf.d/broker-test.conf
/lib/systemd/systemd-journald > "$work/journald.log" 2>&1 &
journald=$!
export BROKER_TEST_JOURNAL=/run/log/journal
timeout 20 bash -c 'until [[ -S /run/systemd/journal/socket ]]; do sleep 0.1; done' ||
    { echo "$0: the journal did not come up:" >&2; cat "$work/journald.log" >&2; exit 1; }

for cgroup in "${cgroups[@]}"; do mkdir "$cgroup"; done
(
    for cgroup in "${cgroups[@]}"; do echo "$BASHPID" > "$cgroup/cgroup.procs"; done
    exec /lib/systemd/systemd --user
) > "$work/manager.log" 2>&1 &
manager=$!
disown "$manager" # its end is the cleanup's doing, not news

# The first client on the bus socket starts the bus, and the manager takes its name once
# both are up; nothing announces that but the bus itself.
state=$(timeout 20 bash -c 'until busctl --user status org.freedesktop.systemd1 >/dev/null 2>&1; do sleep 0.1; done' &&
    timeout 20 systemctl --user is-system-running --wait || true)
if [[ $state != running && $state != degraded ]]; then
    echo "$0: the user manager did not come up (state: ${state:-none}):" >&2
    cat "$work/manager.log" >&2
    exit 1
fi

ssh-keygen -q -t ed25519 -N '' -C broker-test-host -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -C broker-test-impostor -f "$work/impostor_key"
ssh-keygen -q -t ed25519 -N '' -C broker-test-client -f "$work/dotssh/id_ed25519"
echo "command=\"systemd-stdio-bridge --bus-path=$DBUS_SESSION_BUS_ADDRESS\",restrict $(cat "$work/dotssh/id_ed25519.pub")" \
    > "$work/authorized_keys"
# StrictModes would refuse the key file below the world-writable /tmp. Passwords are
# offered, so that a client willing to prompt for one would show it; sshd's own defaults
# leave PAM out and let root in by key only.
cat > "$work/sshd_config" <<END
ListenAddress 127.0.0.1
ListenAddress 127.0.0.2
HostKey $work/host_key
PidFile $work/sshd.pid
StrictModes no
AllowUsers root
AuthorizedKeysFile $work/authorized_keys
PasswordAuthentication yes
END
# sshd goes into the background once it listens.
/usr/sbin/sshd -f "$work/sshd_config" -E "$work/sshd.log" || { cat "$work/sshd.log" >&2; exit 1; }
echo "127.0.0.1 $(cut -d' ' -f1,2 "$work/host_key.pub")" > "$work/dotssh/known_hosts"
echo "localhost $(cut -d' ' -f1,2 "$work/impostor_key.pub")" >> "$work/dotssh/known_hosts"
dotssh=$(getent passwd root | cut -d: -f6)/.ssh
mkdir -p -m 700 "$dotssh"
mount --no-mtab --bind "$work/dotssh" "$dotssh"

export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS BROKER_TEST_MANAGER_PID=$manager
"$@"
