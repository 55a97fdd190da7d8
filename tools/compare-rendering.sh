#!/bin/sh
# Renders the project's test feeds with the Linux build and, under Wine, with the Windows
# build, and fails unless both give the same messages and uids byte for byte.
#
#   tools/compare-rendering.sh LINUX_BUILD_FOLDER WINDOWS_BUILD_FOLDER
set -eu

linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
build=$windows
. "$(dirname "$0")/wine-prefix.sh"

summary=$("$linux/tests/quillbox_render_test_feeds" "$linux/rendered-test-feeds.txt")
"$wine64" "$windows/tests/quillbox_render_test_feeds.exe" "Z:$windows/rendered-test-feeds.txt" >/dev/null
"$wineserver" -w
if cmp "$linux/rendered-test-feeds.txt" "$windows/rendered-test-feeds.txt"; then
    echo "compare-rendering: Linux and Windows render alike: $summary"
else
    echo "compare-rendering: Linux and Windows render the test feeds differently" >&2
    exit 1
fi
