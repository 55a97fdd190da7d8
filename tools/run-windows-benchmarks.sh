#!/bin/sh
# Runs every benchmark program of a Windows build folder under Wine, in the build's own Wine
# prefix, with tools/tls-relay.py in front of the HTTPS servers as for the tests. The figures
# are a sanity check of the Windows build, not those of a Windows machine.
#
#   tools/run-windows-benchmarks.sh BUILD_FOLDER
set -eu

build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
. "$source/tools/wine-prefix.sh"
for program in "$build"/bench/bench_*.exe; do
    python3 "$source/tools/tls-relay.py" "$source/tests/data/tls" "$wine64" "$program"
done
"$wineserver" -w
