#!/bin/sh
# Tests the Windows plug-in under Wine: the plug-in's own test program in the 64-bit and the
# 32-bit build (the dialog tests on a virtual X display), then the Linux suite's end-to-end
# tests of the Windows host program and of the Windows build's POP3 server (Linux HTTP
# server, curl and fetchmail; messages compared with the Linux build's byte for byte). One Wine prefix,
# inside the 64-bit build folder, serves both (made on first use). The setup dialog's picture
# is left as setup-dialog.bmp in the 64-bit build folder (tools/bmp-to-png.py converts it).
#
#   tools/run-windows-plugin-tests.sh LINUX_BUILD WIN64_BUILD WIN32_BUILD
set -eu

linux=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
win32=$(cd "$3" && pwd)
build=$win64
. "$(cd "$(dirname "$0")" && pwd)/wine-prefix.sh"

# A display of our own for the dialogs: the first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
# Wine draws the windows' frames itself: there is no window manager on the display.
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1

status=0
echo "run-windows-plugin-tests: the 64-bit plug-in"
QUILLBOX_SCREENSHOT="Z:$(echo "$win64" | tr / '\\')\\setup-dialog.bmp" \
    "$wine64" "$win64/quillbox_plugin_tests.exe" || status=1
if [ -x "$wine32" ]; then
    echo "run-windows-plugin-tests: the 32-bit plug-in"
    "$wine32" "$win32/quillbox_plugin_tests.exe" || status=1
else
    echo "run-windows-plugin-tests: no 32-bit Wine (wine32): the 32-bit plug-in's resources and exports are read, not run"
    QUILLBOX_PLUGIN="Z:$(echo "$win32" | tr / '\\')\\QUILLBOX.vorlenta.tbp" \
        "$wine64" "$win64/quillbox_plugin_tests.exe" --gtest_filter='PluginResources.*' || status=1
    exports=$(i686-w64-mingw32-objdump -p "$win32/QUILLBOX.vorlenta.tbp" |
        sed -n 's/^.*+base\[ *\([0-9]*\)\].*$/\1/p' | tr '\n' ' ')
    [ "$exports" = "1 2 3 4 5 7 8 9 " ] || { echo "32-bit exports by ordinal: $exports"; status=1; }
fi
"$wineserver" -w

echo "run-windows-plugin-tests: the Windows host program and POP3 server with Linux clients"
QUILLBOX_WINDOWS_BUILD="$win64" QUILLBOX_WINE="$wine64" "$linux/tests/quillbox_cross_system_tests" ||
    status=1
"$wineserver" -w
exit $status
