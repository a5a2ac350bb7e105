#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vellumark need.
# Packages already present are skipped; works as root or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  qt6-translations-l10n
  libzip-dev libdeflate-dev libisal-dev libpugixml-dev libsqlite3-dev
  libopencc-dev opencc libssl-dev mdbtools mdbtools-dev libcups2-dev
  libgsf-1-dev
  libreoffice-writer libreoffice-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-docx python3-docxtpl python3-openpyxl python3-docxcompose parallel
  cups-daemon cups-client poppler-utils
  xvfb xauth fonts-noto-cjk
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo -E)
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
