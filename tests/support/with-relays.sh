#!/bin/bash
# with-relays.sh WORKDIR COMMAND...
#
# Runs COMMAND in a private network beside aiosmtpd on 127.0.0.1 (with-mail-relay.sh) and
# three mail relays from Debian's archive, each on port 25 of its own loopback address and
# each delivering mail for ops@example.org into ~ops/Maildir of its own tree,
# $RELAY_TREES/NAME:
#   postfix    127.0.0.2  strict_rfc821_envelopes = yes
#   opensmtpd  127.0.0.3  as packaged
#   exim       127.0.0.4  Debian's configuration, with header syntax verified
# Every Debian relay conflicts with every other and with the machine's own mail system, so
# each is installed into an overlay of / that exists only in a private mount namespace: the
# machine's packages and /etc stay as they are, and whatever an earlier mail system left in
# its folders is hidden from the relay. The packages are downloaded once into WORKDIR/debs.
# Needs root. A private process namespace ends the relays with COMMAND.
set -euo pipefail
work=$1
shift
declare -A Packages=([postfix]=postfix [opensmtpd]=opensmtpd [exim]=exim4-daemon-light)
declare -A Addresses=([postfix]=127.0.0.2 [opensmtpd]=127.0.0.3 [exim]=127.0.0.4)
# What the relays keep between runs: made fresh, whatever a mail system once left there.
State="var/spool/postfix var/lib/postfix var/spool/smtpd var/spool/exim4 var/lib/exim4 var/log/exim4"
# Where each relay's daemon writes its last words once it has left the command that started it.
declare -A Logs=([postfix]=var/log/postfix.log [opensmtpd]= [exim]=var/log/exim4/paniclog)

download() {
    mkdir -p "$work/debs/$1"
    apt-get install -qq -y --download-only --no-install-recommends \
        -o Dir::Cache::archives="$work/debs/$1" "${Packages[$1]}" >/dev/null
}

if [[ "${BROKER_RELAYS_INSIDE:-}" != yes ]]; then
    for relay in "${!Packages[@]}"; do
        download "$relay" || { apt-get update -qq && download "$relay"; }
    done
    mkdir -p "$work/trees"
    # A /proc of the new process namespace's own, or LeakSanitizer cannot find the test's threads.
    exec "$(dirname "$0")/with-mail-relay.sh" unshare --mount --propagation private --pid --fork \
        --mount-proc --kill-child env BROKER_RELAYS_INSIDE=yes RELAY_TREES="$work/trees" "$BASH" "$0" "$work" "$@"
fi

# The relay's package and a mailbox owner, in an overlay of / that only this namespace sees.
install_relay() {
    local layers=$RELAY_TREES/.layers/$1 root=$RELAY_TREES/$1 folder
    mkdir -p "$layers/upper" "$layers/work" "$root"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$layers/upper,workdir=$layers/work" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    # Fresh /run and /tmp: no socket of the machine's own services is reachable from inside.
    mount -t tmpfs tmpfs "$root/run"
    mount -t tmpfs tmpfs "$root/tmp"
    for folder in $State; do rm -rf "${root:?}/$folder"; done
    mount --bind "$work/debs/$1" "$root/var/cache/apt/archives"
    # Maintainer scripts must not start the relay: it is started below, configured.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    if ! chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -qq -y --no-download \
        --no-install-recommends "${Packages[$1]}" >"$layers/install.log" 2>&1; then
        cat "$layers/install.log" >&2
        return 1
    fi
    chroot "$root" useradd --create-home ops
}

start_postfix() {
    chroot "$1" postconf -e inet_interfaces=127.0.0.2 inet_protocols=ipv4 myhostname=relay.localdomain \
        mydestination=example.org home_mailbox=Maildir/ strict_rfc821_envelopes=yes maillog_file=/var/log/postfix.log
    chroot "$1" postfix start
}

start_opensmtpd() {
    cat >"$1/etc/smtpd.conf" <<'END'
listen on 127.0.0.3
action "deliver" maildir "%{user.directory}/Maildir"
match from any for domain "example.org" action "deliver"
END
    chroot "$1" smtpd
}

start_exim() {
    # Debian's own configuration, delivering to local mailboxes, plus the header check.
    sed -i -e "s/^dc_eximconfig_configtype=.*/dc_eximconfig_configtype='local'/" \
        -e "s/^dc_local_interfaces=.*/dc_local_interfaces='127.0.0.4'/" \
        -e "s/^dc_other_hostnames=.*/dc_other_hostnames='example.org'/" \
        -e "s/^dc_localdelivery=.*/dc_localdelivery='maildir_home'/" "$1/etc/exim4/update-exim4.conf.conf"
    echo "CHECK_DATA_VERIFY_HEADER_SYNTAX = yes" >"$1/etc/exim4/exim4.conf.localmacros"
    chroot "$1" update-exim4.conf
    # In the foreground: with this script as its parent, pid 1 here, Exim would take itself
    # for a daemon restarted by a hang-up signal and not detach.
    chroot "$1" exim4 -bdf &
}

# Postfix listens only on an address that an interface carries.
for address in "${Addresses[@]}"; do
    ip address add "$address/8" dev lo
done
mount -t tmpfs relay-trees "$RELAY_TREES"
installs=()
for relay in "${!Packages[@]}"; do
    install_relay "$relay" &
    installs+=($!)
done
for install in "${installs[@]}"; do
    wait "$install"
done
for relay in "${!Packages[@]}"; do
    "start_$relay" "$RELAY_TREES/$relay" >"$RELAY_TREES/.layers/$relay/start.log" 2>&1
done
for relay in "${!Packages[@]}"; do
    timeout 20 "$BASH" -c "until exec 3<>/dev/tcp/${Addresses[$relay]}/25; do sleep 0.2; done" 2>/dev/null && continue
    echo "$0: $relay does not answer on ${Addresses[$relay]} port 25; its last words:" >&2
    (cd "$RELAY_TREES/$relay" && tail -n 20 "../.layers/$relay/start.log" ${Logs[$relay]}) >&2 || true
    exit 1
done
"$@"
