#!/bin/bash
# tst_metrics.sh PROGRAM DEBS: the check's metrics as Prometheus takes them. promtool and
# node_exporter, unpacked from Debian's packages in DEBS (downloaded there once), check the
# file that `PROGRAM --check --metrics` writes and serve it through the textfile collector,
# before and after a broker stops. It runs itself again inside tests/support/with-user-manager.sh,
# whose network has no way to the archive; nothing of the machine's own Prometheus is used.
set -euo pipefail
if [[ -z ${BROKER_TEST_MAILDIR:-} ]]; then
    mkdir -p "$2"
    for package in prometheus prometheus-node-exporter; do
        ls "$2/${package}"_*.deb >/dev/null 2>&1 || (cd "$2" && apt-get download -qq "$package")
    done
    exec "$(dirname "$0")/support/with-user-manager.sh" "$BASH" "$0" "$@"
fi
work=$(mktemp -d /tmp/broker-metrics.XXXXXX)
exporter=
trap 'kill $exporter 2>/dev/null; rm -rf "$work"' EXIT
for deb in "$2"/prometheus_*.deb "$2"/prometheus-node-exporter_*.deb; do dpkg -x "$deb" "$work"; done
mkdir -p "$work/textfile" "$HOME/.config/systemd/user"
printf '[Service]\nExecStart=/bin/sleep infinity\n' >"$HOME/.config/systemd/user/fleet-broker.service"
systemctl --user daemon-reload
systemctl --user start fleet-broker
"$work/usr/bin/prometheus-node-exporter" --web.listen-address=127.0.0.1:9100 --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
exporter=$!
# scan STATUS SERIES...: the check exits STATUS, promtool passes its file, and the exporter's
# scrape holds each of SERIES as a line of its own.
scan() {
    local status=0 scrape series
    "$1" --check --metrics "$work/textfile/brokers.prom" >/dev/null || status=$?
    [[ $status -eq $2 ]] || { echo "the check exited $status, not $2" >&2; exit 1; }
    "$work/usr/bin/promtool" check metrics <"$work/textfile/brokers.prom"
    scrape=$(timeout 30 bash -c 'until /usr/bin/python3 -c "import urllib.request as u
print(u.urlopen(\"http://127.0.0.1:9100/metrics\").read().decode())" 2>/dev/null; do sleep 0.2; done')
    for series in node_textfile_scrape_error\ 0 "${@:3}"; do
        grep -qxF "$series" <<<"$scrape" ||
            { echo "the exporter serves no \"$series\":" >&2; grep tarvik <<<"$scrape" >&2; exit 1; }
    done
}
scan "$1" 0 'tarvik_broker_service_up{server="localhost",service="fleet-broker",state="Running"} 1' \
    'tarvik_broker_services{server="localhost",status="not_running"} 0' 'tarvik_broker_scan_success{server="localhost"} 1'
systemctl --user stop fleet-broker
scan "$1" 2 'tarvik_broker_service_up{server="localhost",service="fleet-broker",state="Stopped"} 0' \
    'tarvik_broker_services{server="localhost",status="not_running"} 1'
