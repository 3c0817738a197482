#!/bin/bash
# with-tls-relays.sh COMMAND...
#
# Runs COMMAND in the private network of with-mail-relay.sh, in a mount namespace of its own where
# /etc/ssl/certs holds one authority alone, the test's, and /etc/hosts names the relays, beside
# real relays that speak TLS (tests/support/tlsrelays.py): relay.test (127.0.0.20) with STARTTLS on
# port 25, STARTTLS and a login on port 587, and TLS from the first byte on port 465;
# login-only.relay.test (127.0.0.21) with LOGIN alone on port 587; untrusted.relay.test
# (127.0.0.22), whose authority nobody trusts, on port 587; plain.relay.test (127.0.0.23) without
# STARTTLS on port 587; old-tls.relay.test (127.0.0.24) offering STARTTLS to TLS 1.0 alone on port 25. They take the login "ops" with $BROKER_TEST_RELAY_PASSWORD, and write what they received to
# $BROKER_TEST_RELAY_LOGS/HOST_PORT.log. A Secret Service (GNOME Keyring, unlocked) runs on a
# private session bus. Needs root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[[ -n ${BROKER_TEST_MAILDIR:-} ]] || exec "$here/with-mail-relay.sh" "$BASH" "$0" "$@"
[[ -n ${BROKER_TLS_NAMESPACE:-} ]] ||
    exec unshare --mount --propagation private env BROKER_TLS_NAMESPACE=yes dbus-run-session -- "$BASH" "$0" "$@"

work=$(mktemp -d /tmp/broker-tls.XXXXXX)
relays=
trap 'kill $relays 2>/dev/null; wait; rm -rf "$work"' EXIT
mkdir -p "$work/certificates" "$work/trusted" "$work/logs" "$work/home"
pushd "$work/certificates" >/dev/null
# authority NAME FILE: a certificate authority of its own.
authority() {
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "/CN=$1" \
        -keyout "$2.key" -out "$2.pem" 2>/dev/null
}
authority "Broker Test Authority" trusted
authority "Untrusted Test Authority" untrusted
declare -A names=([127.0.0.20]=relay.test [127.0.0.21]=login-only.relay.test [127.0.0.22]=untrusted.relay.test
                  [127.0.0.23]=plain.relay.test [127.0.0.24]=old-tls.relay.test)
cp /etc/hosts "$work/hosts"
for host in "${!names[@]}"; do
    issuer=trusted
    [[ $host != 127.0.0.22 ]] || issuer=untrusted
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=${names[$host]}" \
        -keyout "$host.key" 2>/dev/null | openssl x509 -req -CA "$issuer.pem" -CAkey "$issuer.key" -days 2 \
        -extfile <(printf 'subjectAltName=DNS:%s\n' "${names[$host]}") -out "$host.pem" 2>/dev/null
    echo "$host ${names[$host]}" >> "$work/hosts"
done
cp trusted.pem "$work/trusted/ca-certificates.crt"
popd >/dev/null
openssl rehash "$work/trusted"
mount --no-mtab --bind "$work/trusted" /etc/ssl/certs
mount --no-mtab --bind "$work/hosts" /etc/hosts

export BROKER_TEST_RELAY_PASSWORD=relay-secret-$$ BROKER_TEST_RELAY_LOGS=$work/logs
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/home
printf keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
# Debian's interpreter: the python3 on PATH may lack Debian's modules.
/usr/bin/python3 "$here/tlsrelays.py" "$work/certificates" "$work/logs" "$BROKER_TEST_RELAY_PASSWORD" \
    >"$work/relays.log" 2>&1 &
relays=$!
timeout 20 bash -c "until grep -q ready '$work/relays.log'; do sleep 0.1; done" ||
    { echo "$0: the relays did not come up:" >&2; cat "$work/relays.log" >&2; exit 1; }
"$@"
