#!/bin/sh
# Installs what a Debian machine (12 or later) lacks for building and testing
# both platforms. Runs apt-get only when something is missing and we are root.
set -e
export DEBIAN_FRONTEND=noninteractive
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# A version the release offers (a name only mentioned by other packages has none).
offered() { apt-cache policy "$1" 2>/dev/null | grep -q 'Candidate: [^(]'; }
is_root() { [ "$(id -u)" = 0 ]; }
updated=""
update_lists() {
    if [ -z "$updated" ] && is_root; then
        apt-get update -q
        updated=1
    fi
}

# The fuzz build needs clang's fuzzer and sanitizer runtimes, which Debian
# ships apart from clang as libclang-rt-<major>-dev, one package per clang
# version. Sets `runtime` to the one for the installed clang or, before clang
# is installed, for the clang the release's "clang" package depends on; leaves
# it empty when the release has no such package (the runtimes then come with
# clang's own dependencies).
runtime=""
clang_runtime() {
    major=$(clang --version 2>/dev/null | sed -n '1s/.*clang version \([0-9][0-9]*\).*/\1/p')
    if [ -z "$major" ]; then
        offered clang || update_lists
        major=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
    fi
    [ -n "$major" ] || return 0
    package="libclang-rt-$major-dev"
    if pkg_installed "$package"; then
        runtime=$package
        return 0
    fi
    offered "$package" || update_lists
    if offered "$package"; then
        runtime=$package
    fi
}

clang_runtime
need=""
for p in cmake ninja-build g++ make libgtest-dev libgmock-dev googletest clang-format \
         g++-mingw-w64-x86-64-posix wine64 clang $runtime; do
    pkg_installed "$p" || need="$need $p"
done
if [ -z "$need" ]; then
    exit 0
fi
if ! is_root; then
    echo "missing packages:$need" >&2
    echo "install them with: sudo apt-get install$need" >&2
    exit 1
fi
echo "installing:$need"
update_lists
apt-get install -y -q --no-install-recommends $need
