#!/bin/bash
# with-private-network.sh COMMAND...
#
# Runs COMMAND in a network namespace of its own with only loopback up, so a test server
# can take a well-known port such as 25 without meeting the machine's own. Needs root.
set -euo pipefail
[[ $(id -u) == 0 ]] || { echo "$0: needs root" >&2; exit 2; }
exec unshare --net "$BASH" -c 'ip link set lo up && exec "$@"' "$0" "$@"
