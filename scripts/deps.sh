#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the demo and the package build
# (cpack -G DEB) need, on a minimal Debian 12 too; quiet when all are present.
set -euo pipefail
packages=(
  # CPack's Debian generator runs file(1) on what it packages
  file
  build-essential dpkg-dev cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  # Qt's JPEG writer plugin and its print-spooler plugin
  libqt6gui6 libqt6printsupport6
  libicu-dev libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 poppler-utils time locales
  # the private print spooler of the print test (cups holds the socket backend)
  cups cups-daemon cups-client
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
