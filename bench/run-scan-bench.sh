#!/bin/bash
# run-scan-bench.sh [BUILD_DIR [SERVICE COUNTS...]]: times one broker scan beside a private
# systemd user manager. BUILD_DIR defaults to build/ beside bench/; the benchmark is its
# bench/scan_bench, which takes the counts (default 1000).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
shift || true
exec "$here/../tests/support/with-user-manager.sh" "$build/bench/scan_bench" "$@"
