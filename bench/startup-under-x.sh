#!/usr/bin/env bash
# Runs bench_startup under a private X server with a tray host (Xvfb and jwm), as a desktop user
# would start the app: ./bench/startup-under-x.sh [build dir] [rounds]
set -eu
build=${1:-build}
rounds=${2:-5}
"$(dirname "$0")/under-x.sh" "$build/bench/bench_startup" "$rounds" 2>&1 | grep -v systemTrayWindowChanged
