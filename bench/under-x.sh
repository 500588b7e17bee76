#!/usr/bin/env bash
# Runs a command as a desktop user would see it: under a private X server (Xvfb) with a tray host
# (jwm), with no Qt platform forced. ./bench/under-x.sh COMMAND [ARGS...]
set -eu
for tool in Xvfb jwm; do
  command -v "$tool" >/dev/null || { echo "under-x: needs $tool (apt-get install xvfb jwm)"; exit 1; }
done
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
cleanup() { kill "${wpid:-}" 2>/dev/null || true; kill "$xpid" 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
DISPLAY=":$n" jwm >/dev/null 2>&1 &
wpid=$!
sleep 1
env -u QT_QPA_PLATFORM DISPLAY=":$n" "$@"
