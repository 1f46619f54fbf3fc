#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Never wine32 or the i386 architecture: 32-bit code cannot
# run on these kernels, and the 32-bit build is only compiled and linked.
set -eu

packages=(
  make cmake ninja-build
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  googletest nlohmann-json3-dev
  wine wine64 xvfb xauth
  snmp snmptrapd snmpd smitools python3 iproute2
  clang libclang-rt-14-dev
  imagemagick
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
