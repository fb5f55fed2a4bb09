#!/usr/bin/env bash
# The Windows program under Wine beside the Linux agent: the size of tarvellin.exe, its idle CPU time and
# resident memory, and the GET /renew round trip of both, measured in one run on this machine.
# Needs a finished scripts/test-windows run (its build folder holds the program and the Wine prefix).
#
#   bench/wine/run.sh [seconds]          (default 60)
#   TARVELLIN_MINGW_BUILD, TARVELLIN_BUILD: the two build folders (defaults: build-mingw, build)
# Goals: tarvellin.exe under 1 MB; idle under 0.1 % of one core and under 15 MB resident.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mingw=${TARVELLIN_MINGW_BUILD:-$root/build-mingw}
linux=${TARVELLIN_BUILD:-$root/build}
seconds=${1:-60}
for program in "$mingw/bin/tarvellin.exe" "$linux/bin/tarvellin"; do
    [[ -x $program || -f $program ]] || { echo "no $program: build it first" >&2; exit 1; }
done
[[ -d $mingw/wineprefix ]] || { echo "no Wine prefix in $mingw: run scripts/test-windows first" >&2; exit 1; }

export WINEPREFIX=$mingw/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
japanese=()
[[ -f $mingw/locale/ja_JP.UTF-8/LC_CTYPE ]] &&
    japanese=(env LOCPATH="$mingw/locale" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8)

work=$(mktemp -d /tmp/tarvellin-wine-bench-XXXXXX)
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# On a private X display with a tray, as on a desktop; without Xvfb and trayer the null display driver, where
# there is no notification area and the program tries to add its icon every 2 s.
graphics=null desktop=()
if command -v Xvfb >/dev/null && command -v trayer >/dev/null; then
    graphics=x11 desktop=("$root/scripts/with-desktop")
fi
echo "Wine display driver: $graphics"
"${japanese[@]}" "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d $graphics /f \
    </dev/null >/dev/null 2>&1
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w

echo "tarvellin.exe: $(stat -c %s "$mingw/bin/tarvellin.exe") bytes (goal under 1048576)"
"${desktop[@]}" "${japanese[@]}" /usr/bin/python3 "$root/bench/wine/measure.py" "$seconds" "$work" \
    "$wine" "$mingw/bin/tarvellin.exe" "$linux/bin/tarvellin" "$mingw/bin/tarvellin_wine_window.exe"
