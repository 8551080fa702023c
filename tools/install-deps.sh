#!/bin/sh
# Installs what a fresh Debian machine lacks for building and testing both
# platforms. Runs apt-get only when something is missing and we are root.
set -e
need=""
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake ninja-build g++ make libgtest-dev libgmock-dev googletest clang-format \
         g++-mingw-w64-x86-64-posix wine64 clang libclang-rt-14-dev; do
    pkg_installed "$p" || need="$need $p"
done
if [ -z "$need" ]; then
    exit 0
fi
if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$need" >&2
    echo "install them with: sudo apt-get install$need" >&2
    exit 1
fi
echo "installing:$need"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $need
