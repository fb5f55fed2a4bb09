#!/usr/bin/env bash
# The Windows program under Wine on an X display with a system tray (run by scripts/with-desktop, which sets
# DISPLAY and TARVELLIN_TRAY_WINDOW): its icon docks into the tray, a right click on it shows the menu, and
# the menu's 終了 ends the program with status 0 and nothing saved. A screenshot of the menu is left in the
# run folder.
#
#   desktop_test.sh <wine> <tarvellin.exe> <run folder>
set -uo pipefail
wine=$1 exe=$2 run=$3

failures=0
check() { # check <what> <command...>
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

rm -rf "$run"
mkdir -p "$run"
printf '[Setting]\r\nNetWork=0\r\n' >"$run/tarvellin.ini"
cp "$run/tarvellin.ini" "$run/expected.ini"

(cd "$run" && exec "$wine" "$exe" </dev/null >/dev/null 2>&1) &
agent=$!
trap 'kill "$agent" 2>/dev/null' EXIT

# The icon: a window of Wine's explorer docked into the tray panel.
tray_icon() {
    local child
    for child in $(xwininfo -children -id "$TARVELLIN_TRAY_WINDOW" 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
        xwininfo -children -id "$child" 2>/dev/null | awk '/"explorer.exe"/ {print $1; exit}'
    done | head -n 1
}
icon=""
for _ in $(seq 1 100); do
    icon=$(tray_icon)
    [[ -n $icon ]] && break
    sleep 0.1
done
check "the icon appears in the tray" test -n "$icon"

menu=""
if [[ -n $icon ]]; then
    xdotool mousemove --window "$icon" 8 8 click 3
    for _ in $(seq 1 50); do
        menu=$(xdotool search --onlyvisible --class tarvellin.exe 2>/dev/null | head -n 1)
        [[ -n $menu ]] && break
        sleep 0.1
    done
fi
check "a right click on the icon shows the menu" test -n "$menu"

if [[ -n $menu ]]; then
    import -window root "$run/tray-menu.png" 2>/dev/null || true
    eval "$(xdotool getwindowgeometry --shell "$menu")"
    # The menu holds 設定 and 終了, one above the other: the lower half is 終了.
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 3 / 4)) click 1
fi
status=none
for _ in $(seq 1 100); do
    if ! kill -0 "$agent" 2>/dev/null; then
        wait "$agent"
        status=$?
        break
    fi
    sleep 0.1
done
check "終了 ends the program with status 0 (status: $status)" test "$status" = 0
check "nothing is saved on exit" cmp -s "$run/tarvellin.ini" "$run/expected.ini"
check "the icon has left the tray" test -z "$(tray_icon)"

echo "program on the desktop under Wine: $failures failure(s)"
((failures == 0))
