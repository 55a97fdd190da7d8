#!/bin/sh
# Installs, with apt-get, whatever the build, the tests and the benchmarks need and the
# machine lacks, for Linux and for the Windows cross-build run under Wine. Does nothing when
# everything is already there.
#
#   tools/bootstrap.sh                      the packages
#   tools/bootstrap.sh --source NAME DIR    also unpacks Debian's source package NAME, with
#                                           Debian's patches applied, into DIR/NAME (once)
set -eu

packages="g++ cmake make pkg-config libtinyxml-dev libgtest-dev libgmock-dev googletest \
libssl-dev openssl ca-certificates curl fetchmail procmail python3 locales \
g++-mingw-w64-x86-64-posix wine64 dpkg-dev g++-mingw-w64-i686-posix xvfb clang libclang-rt-dev \
zlib1g-dev libz-mingw-w64-dev"

if [ "$(id -u)" -eq 0 ]; then
    run=""
elif command -v sudo >/dev/null 2>&1; then
    run="sudo"
else
    run="need_root"
fi
need_root() {
    echo "bootstrap: need root (or sudo) for: $*" >&2
    exit 1
}
export DEBIAN_FRONTEND=noninteractive

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    echo "bootstrap: installing$missing"
    $run apt-get update -qq
    # shellcheck disable=SC2086
    $run apt-get install -y -qq --no-install-recommends $missing
fi

# 32-bit Wine, for the 32-bit plug-in's tests, through Debian's multiarch. Without it those
# tests only read the 32-bit plug-in's tables (tools/run-windows-plugin-tests.sh).
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $run dpkg --add-architecture i386
    fi
    echo "bootstrap: installing wine32:i386"
    $run apt-get update -qq
    $run apt-get install -y -qq --no-install-recommends wine32:i386 ||
        echo "bootstrap: wine32:i386 cannot be installed; the 32-bit plug-in will not be run" >&2
fi

[ "${1:-}" = "--source" ] || exit 0
name=$2
folder=$3
[ -f "$folder/$name/.unpacked" ] && exit 0

# Source packages come from the machine's own Debian release, through its apt.
if [ -z "$(apt-cache showsrc "$name" 2>/dev/null)" ]; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "bootstrap: adding Debian's source archive for $codename"
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" \
        "Suites: $codename $codename-updates" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "" \
        "Types: deb-src" "URIs: http://deb.debian.org/debian-security" \
        "Suites: $codename-security" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
        $run tee /etc/apt/sources.list.d/quillbox-debian-source.sources >/dev/null
    $run apt-get update -qq
fi
rm -rf "$folder/$name" "$folder/$name.download"
mkdir -p "$folder/$name.download"
# The version that matches the installed binary package, so both systems parse alike.
(cd "$folder/$name.download" && apt-get source -qq "$name")
mv "$folder/$name.download/$(cd "$folder/$name.download" && ls -d "$name"-*/)" "$folder/$name"
rm -rf "$folder/$name.download"
touch "$folder/$name/.unpacked"
