#!/usr/bin/env bash
# Installs the Debian 12 packages Mivo needs to build, test and run.
# Idempotent: when every package is present it does nothing and returns at once.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev qt6-webengine-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libsqlite3-dev nlohmann-json3-dev libsimdjson-dev libzip-dev libxxhash-dev libxcb1-dev
  fonts-inter fonts-noto-color-emoji fonts-dejavu-core fonts-droid-fallback qt6-translations-l10n
  xvfb xauth dbus jwm
  poppler-utils
  dpkg-dev file desktop-file-utils appstream lintian
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
