#!/bin/sh
# Runs the Windows test program of a build folder under Wine, in a Wine prefix of its own
# inside that folder (made on first use), with tools/tls-relay.py running for the tests' HTTPS
# servers. Prints GoogleTest's summary; fails when a test fails.
#
#   tools/run-windows-tests.sh BUILD_FOLDER [GoogleTest options...]
set -eu

build=$(cd "$1" && pwd)
shift
source=$(cd "$(dirname "$0")/.." && pwd)
. "$source/tools/wine-prefix.sh"

status=0
# The tests' HTTPS servers need TLS run in front of them on this side (see the relay).
python3 "$source/tools/tls-relay.py" "$source/tests/data/tls" \
    "$wine64" "$build/tests/quillbox_tests.exe" "$@" || status=$?
"$wineserver" -w
exit $status
