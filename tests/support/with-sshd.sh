#!/bin/bash
# with-sshd.sh COMMAND...
#
# Runs COMMAND beside a private sshd on loopback whose one accepted key (root's only) is
# forced to bridge to the user manager's bus, the way a remote server's manager is reached.
# Only inside with-user-manager.sh: root's ~/.ssh is replaced by a private one, which is
# safe in that private mount namespace only. Exported: BROKER_TEST_SSH_PORT. The private
# known_hosts holds the sshd's key for [127.0.0.1]:PORT, another key for [localhost]:PORT
# and nothing for 127.0.0.2, where the sshd listens too.
set -euo pipefail

if [[ $(readlink /proc/self/ns/mnt) == $(readlink /proc/1/ns/mnt) || -z ${XDG_RUNTIME_DIR:-} ]]; then
    echo "$0: run it inside with-user-manager.sh" >&2
    exit 2
fi

work=$(mktemp -d /tmp/broker-sshd.XXXXXX)
sshd=
cleanup() {
    [[ -z $sshd ]] || kill "$sshd" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

mkdir -m 700 "$work/dotssh"
ssh-keygen -q -t ed25519 -N '' -C broker-test-host -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -C broker-test-impostor -f "$work/impostor_key"
ssh-keygen -q -t ed25519 -N '' -C broker-test-client -f "$work/dotssh/id_ed25519"
echo "command=\"systemd-stdio-bridge --bus-path=$DBUS_SESSION_BUS_ADDRESS\",restrict $(cat "$work/dotssh/id_ed25519.pub")" \
    > "$work/authorized_keys"

used=$(ss -Htln | awk '{ sub(/.*:/, "", $4); print $4 }')
port=$((20000 + RANDOM % 40000))
while grep -qx "$port" <<< "$used"; do port=$((20000 + RANDOM % 40000)); done

# StrictModes would refuse the key file below the world-writable /tmp. Passwords are
# offered, so that a client willing to prompt for one would show it.
cat > "$work/sshd_config" <<END
Port $port
ListenAddress 127.0.0.1
ListenAddress 127.0.0.2
HostKey $work/host_key
PidFile none
UsePAM no
StrictModes no
AllowUsers root
PermitRootLogin prohibit-password
AuthorizedKeysFile $work/authorized_keys
PasswordAuthentication yes
END
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2> "$work/sshd.log" &
sshd=$!
if ! timeout 10 bash -c 'until ss -Htln "sport = :$1" | grep -q .; do kill -0 "$2" || exit 1; sleep 0.05; done' \
    _ "$port" "$sshd"; then
    echo "$0: sshd did not come up:" >&2
    cat "$work/sshd.log" >&2
    exit 1
fi

echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" > "$work/dotssh/known_hosts"
echo "[localhost]:$port $(cut -d' ' -f1,2 "$work/impostor_key.pub")" >> "$work/dotssh/known_hosts"
dotssh=$(getent passwd root | cut -d: -f6)/.ssh
[[ -d $dotssh ]] || mkdir -m 700 "$dotssh"
mount --no-mtab --bind "$work/dotssh" "$dotssh"

export BROKER_TEST_SSH_PORT=$port
status=0
"$@" || status=$?
[[ $status == 0 ]] || { echo "$0: sshd's log:" >&2; cat "$work/sshd.log" >&2; }
exit $status
