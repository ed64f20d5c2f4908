#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the demo and the package build
# (cpack -G DEB) need, on a minimal Debian 12 or 13 too; quiet when all are present. Where a
# release names a package its own way, apt is asked which name it has.
set -euo pipefail
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# The version apt would install of a package; empty when it knows none (or only a name
# that other packages provide).
candidate() {
  apt-cache policy "$1" 2>/dev/null | awk '$1 == "Candidate:" && $2 != "(none)" { print $2 }'
}

# The clang runtime (sanitizers, libFuzzer) of the release's clang: the package that follows
# the default clang where the release has one, else the one of the version clang depends on.
clang_rt=libclang-rt-dev
if ! installed "$clang_rt"; then
  # A root fresh from debootstrap may know no package lists yet.
  if [ -z "$(candidate dpkg-dev)" ]; then
    "${sudo_cmd[@]}" apt-get update -qq
  fi
  if [ -z "$(candidate "$clang_rt")" ]; then
    clang_version=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
    clang_rt=libclang-rt-${clang_version:?apt knows no clang}-dev
  fi
fi

packages=(
  # CPack's Debian generator runs file(1) on what it packages
  file
  build-essential dpkg-dev cmake ninja-build pkg-config clang "$clang_rt"
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  # Qt's JPEG writer plugin and its print-spooler plugin
  libqt6gui6 libqt6printsupport6
  libicu-dev libjpeg-dev
  # HarfBuzz's subsetter cuts the PDF's font programs down
  libharfbuzz-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 poppler-utils time locales
  # the private print spooler of the print test (cups holds the socket backend)
  cups cups-daemon cups-client
)
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
