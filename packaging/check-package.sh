#!/usr/bin/env bash
# Installs a build into a scratch root, validates what a desktop reads from it (launcher entry and
# AppStream metadata), builds the Debian package and checks that it holds exactly the install layout,
# depends on what the app loads, carries no maintainer scripts and passes lintian: any error or
# warning fails, apart from the tags overridden in packaging/lintian-overrides, each with its reason.
#   packaging/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

src=$(cd "$(dirname "$0")/.." && pwd)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
expected=(
  usr/bin/mivo
  "usr/lib/$multiarch/mivo/mivo_sound.so"
  "usr/lib/$multiarch/mivo/mivo_web.so"
  usr/share/doc/mivo/changelog.gz
  usr/share/doc/mivo/copyright
  usr/share/man/man1/mivo.1.gz
  usr/share/applications/com.mivo.app.desktop
  usr/share/metainfo/com.mivo.app.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/com.mivo.app.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/com.mivo.app.png")
done
overrides="$src/packaging/lintian-overrides"
if grep -q '^[^#[:space:]]' "$overrides"; then
  expected+=(usr/share/lintian/overrides/mivo)
fi
want=$(printf '%s\n' "${expected[@]}" | sort)

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
got=$(cd "$work/root" && find . ! -type d | sed 's|^\./||' | sort)
[ "$got" = "$want" ] || fail "installed files differ from the layout:
$(diff <(echo "$want") <(echo "$got") || true)"

desktop-file-validate "$work/root/usr/share/applications/com.mivo.app.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.mivo.app.metainfo.xml" >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.mivo.app.metainfo.xml")"
# The entry starts the program by the name the package installs, with the icon it installs.
grep -qx 'Exec=mivo' "$work/root/usr/share/applications/com.mivo.app.desktop" || fail "Exec"
grep -qx 'Icon=com.mivo.app' "$work/root/usr/share/applications/com.mivo.app.desktop" || fail "Icon"

# The manual page reads as one, and the copyright file states the licence the metadata states.
man -l "$work/root/usr/share/man/man1/mivo.1.gz" 2>&1 | grep -q '^NAME' || fail "manual page"
license=$(sed -n 's|.*<project_license>\(.*\)</project_license>.*|\1|p' \
  "$work/root/usr/share/metainfo/com.mivo.app.metainfo.xml")
grep -qx "License: $license" "$work/root/usr/share/doc/mivo/copyright" || fail "copyright does not state $license"
# Every override says why, in a comment right above it.
awk '/^#/ { why = 1; next } /^[^[:space:]]/ { if (!why) { print; bad = 1 } } { why = 0 } END { exit bad }' \
  "$overrides" || fail "lintian override without a reason above it"

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/mivo_*.deb)
files=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{print $6}' | sed 's|^\./||' | sort)
[ "$files" = "$want" ] || fail "package files differ from the layout:
$(diff <(echo "$want") <(echo "$files") || true)"
depends=$(dpkg-deb -f "$deb" Depends)
# Plugins Qt loads by name: the display's (whichever package ships it) and WebP pictures'.
platform=$(dpkg -S '*/qt6/plugins/platforms/libqxcb.so' 2>/dev/null | cut -d: -f1 | head -n 1 || true)
for need in libqt6widgets6 libqt6webenginecore6 libqt6multimedia6 libsqlite3-0 libzip4 fonts-inter \
            fonts-noto-color-emoji gstreamer1.0-plugins-good qt6-image-formats-plugins "${platform:-xcb plugin}"; do
  [[ ", $depends," == *", $need"[\ ,]* ]] || fail "Depends lacks $need: $depends"
done
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "the package carries more than control and md5sums: $control"
# lintian leaves files of its own in TMPDIR (an ELF cache, "mldbm-elf-…"): give it a folder that goes
# with this check's.
mkdir "$work/tmp"
TMPDIR="$work/tmp" lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>"$work/lintian.err" ||
  { cat "$work/lintian.err" >&2; fail "lintian"; }
echo "package: $(basename "$deb")"
echo "Depends: $depends"
