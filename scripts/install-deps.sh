#!/bin/sh
# Installs what building and testing need on Debian 12, as root. Packages that
# are already present are left alone, so a second run is quick.
set -eu

packages="build-essential cmake pkg-config googletest libgtest-dev
  zlib1g-dev libminizip-dev liblzma-dev xz-utils
  zip unzip p7zip-full python3 openssl osslsigncode
  clang libclang-rt-14-dev llvm
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-tools dpkg-dev
  wine wine64 xvfb imagemagick"

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $package"
done

if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # Recommended packages come too: Wine needs its fonts and X extensions to
  # draw the dialogs that the Windows tests read.
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing
fi
