#!/bin/sh
# Installs with apt-get whatever the build and the tests need and this
# machine lacks. Does nothing when all of it is there.
set -e
packages="make cmake g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-x86-64 mingw-w64-tools wine wine64 googletest python3
nsis wixl msitools osslsigncode openssl zip unzip"
missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends $missing
