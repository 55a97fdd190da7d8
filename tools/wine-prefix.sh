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
