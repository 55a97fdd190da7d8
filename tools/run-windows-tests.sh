#!/bin/sh
# Runs the Windows test program of a build folder under Wine, in a Wine prefix of its own
# inside that folder (made on first use), leaving out the tests the build names in
# windows-test-filter.txt (POSIX-only behaviour), with tools/tls-relay.py running for the
# tests' HTTPS servers. Prints GoogleTest's summary; fails when a test fails.
#
#   tools/run-windows-tests.sh BUILD_FOLDER [GoogleTest options...]
set -eu

build=$(cd "$1" && pwd)
shift
source=$(cd "$(dirname "$0")/.." && pwd)
. "$source/tools/wine-prefix.sh"

filter=$(cat "$build/windows-test-filter.txt")
status=0
# The tests' HTTPS servers need TLS run in front of them on this side (see the relay).
python3 "$source/tools/tls-relay.py" "$source/tests/data/tls" \
    "$wine64" "$build/tests/quillbox_tests.exe" --gtest_filter="$filter" "$@" || status=$?
"$wineserver" -w
exit $status
