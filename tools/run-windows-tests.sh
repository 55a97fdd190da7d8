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
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
    echo "run-windows-tests: making the Wine prefix $WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
fi

# The tests' HTTPS servers need TLS run in front of them on this side (see the script).
source=$(cd "$(dirname "$0")/.." && pwd)
relayOutput="$build/tls-relay.port"
rm -f "$relayOutput"
python3 "$source/tools/tls-relay.py" "$source/tests/data/tls" >"$relayOutput" &
relay=$!
trap 'kill $relay 2>/dev/null' EXIT
while [ ! -s "$relayOutput" ] && kill -0 $relay 2>/dev/null; do sleep 0.1; done
QUILLBOX_TLS_RELAY_PORT=$(head -n 1 "$relayOutput")
export QUILLBOX_TLS_RELAY_PORT

filter=$(cat "$build/windows-test-filter.txt")
status=0
"$wine" "$build/tests/quillbox_tests.exe" --gtest_filter="$filter" "$@" || status=$?
"$wineserver" -w
exit $status
