#!/usr/bin/env bash
# Runs one test program headless, in a home of its own that is removed afterwards. The test runs as
# a child (not exec'd), so the clean-up below runs and the test's exit code is passed on. TMPDIR
# points inside the same folder, so whatever the test leaves in its temporary folder goes too.
set -u
tmp=$(mktemp -d)
child=
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT
# ctest stops a test that overruns with a signal: pass it on, then clean up on the way out.
trap '[ -n "$child" ] && kill -TERM "$child" 2>/dev/null; wait "$child" 2>/dev/null; exit 143' TERM INT HUP
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime" "$tmp/tmp"
chmod 700 "$tmp/runtime"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/runtime" TMPDIR="$tmp/tmp"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export TZ="${TZ:-Europe/Berlin}"
export QTWEBENGINE_DISABLE_SANDBOX=1
unset DBUS_SESSION_BUS_ADDRESS
"$@" &
child=$!
wait "$child"
rc=$?
exit "$rc"
