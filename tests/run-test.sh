#!/usr/bin/env bash
# Runs one test program headless, in a home of its own that is removed afterwards.
set -u
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/runtime"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export TZ="${TZ:-Europe/Berlin}"
export QTWEBENGINE_DISABLE_SANDBOX=1
unset DBUS_SESSION_BUS_ADDRESS
exec "$@"
