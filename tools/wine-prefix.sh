# Read by the scripts that run Windows programs under Wine (". tools/wine-prefix.sh" after
# setting `build` to a build folder): names the Wine programs and makes Wine quiet and use a
# prefix of that build folder's own, made on first use.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
    echo "$(basename "$0"): making the Wine prefix $WINEPREFIX"
    "$wine64" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
fi
# The user's connection settings: straight to every server, without automatic proxy
# detection, which Wine turns on when nothing is set and which would look for a proxy script
# under names of the machine's domain. Tests that need a proxy set their own and put these
# back. The Wine server that this starts is let end, so that the programs run next start their
# own with the environment they are given (the display of the dialog tests).
"$wine64" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
    /v DefaultConnectionSettings /t REG_BINARY /f \
    /d 460000000000000001000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000 \
    >/dev/null 2>&1
"$wineserver" -w
