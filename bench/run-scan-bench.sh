#!/bin/bash
# run-scan-bench.sh [BUILD_DIR [BROKER COUNTS...]]: how long one scan freezes the real window,
# on a virtual display beside a private systemd user manager. BUILD_DIR defaults to build/
# beside bench/; the benchmark is its bench/scan_bench, which takes the counts (default
# 10 100 1000).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
shift || true
exec "$here/../tests/support/with-user-manager.sh" xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$build/bench/scan_bench" "$@"
