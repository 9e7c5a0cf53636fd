#!/usr/bin/env bash
# Installs every Debian 12 package Velmora needs to build, run, test and
# benchmark, including the peer tools the tests use as oracles.
# Idempotent: installs only what is missing and says nothing when all is there.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config clang libclang-rt-14-dev python3
  # libraries
  qt6-base-dev libqt6svg6 libjpeg62-turbo-dev libgdcm-dev libopenjp2-7-dev zlib1g-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth rsync
  # oracles: reference decoders and real DICOM files
  libcharls-dev dcmtk libgdcm-tools python3-pydicom python3-numpy python3-gdcm
  # packaging: dpkg-shlibdeps for the .deb's Depends, desktop-file-validate for its entry
  dpkg-dev desktop-file-utils
  # fonts for the offscreen and Xvfb platforms
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
