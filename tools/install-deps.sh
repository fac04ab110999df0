#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that Tivarel needs to build, run and test.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev libqt6opengl6-dev libglu1-mesa-dev libgl1-mesa-dri
          gemmi-dev tao-pegtl-dev zlib1g-dev libdeflate-dev
          xvfb xauth xdotool fonts-dejavu-core libgtest-dev libbenchmark-dev povray imagemagick
          shared-mime-info desktop-file-utils
          clang libclang-rt-14-dev locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
# The tests write the program's files under a locale whose decimal mark is a comma.
locale -a | grep -qx 'de_DE.utf8' || $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
