#!/bin/sh
# Installs, with apt-get, whatever the build, the tests and the benchmarks need
# and the machine lacks. Does nothing when everything is already there.
set -eu

packages="g++ cmake make pkg-config libtinyxml-dev libgtest-dev libgmock-dev libssl-dev \
openssl ca-certificates curl fetchmail procmail python3 locales"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

[ -z "$missing" ] && exit 0

echo "bootstrap: installing$missing"
if [ "$(id -u)" -eq 0 ]; then
    run=""
elif command -v sudo >/dev/null 2>&1; then
    run="sudo"
else
    echo "bootstrap: need root (or sudo) to install:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$run apt-get update -qq
# shellcheck disable=SC2086
$run apt-get install -y -qq --no-install-recommends $missing
