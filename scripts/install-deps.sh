#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are there.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config make
  qt6-base-dev qt6-base-private-dev libgl-dev qt6-translations-l10n
  libcurl4-openssl-dev libzip-dev zlib1g-dev libgtest-dev
  python3 python3-pyftpdlib python3-aiosmtpd
  unzip zip p7zip-full libarchive-tools
  xvfb xauth openbox xdotool x11-utils
  strace
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installation de : ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
