#!/usr/bin/env bash
# Installs a build into a scratch root, validates what a desktop reads from it (launcher entry and
# AppStream metadata), builds the Debian package and checks that it holds exactly the install layout
# and depends on what the app loads.
#   packaging/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected=(
  usr/bin/mivo
  usr/lib/mivo/mivo_sound.so
  usr/lib/mivo/mivo_web.so
  usr/share/applications/com.mivo.app.desktop
  usr/share/metainfo/com.mivo.app.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/com.mivo.app.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/com.mivo.app.png")
done
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

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/mivo_*.deb)
files=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{print $6}' | sed 's|^\./||' | sort)
[ "$files" = "$want" ] || fail "package files differ from the layout:
$(diff <(echo "$want") <(echo "$files") || true)"
depends=$(dpkg-deb -f "$deb" Depends)
for need in libqt6widgets6 libqt6webenginecore6 libqt6multimedia6 libsqlite3-0 libzip4 fonts-inter \
            fonts-noto-color-emoji gstreamer1.0-plugins-good; do
  [[ ", $depends," == *", $need"[\ ,]* ]] || fail "Depends lacks $need: $depends"
done
echo "package: $(basename "$deb")"
echo "Depends: $depends"
