#!/usr/bin/env bash
# The Windows program under Wine on an X display with a system tray (run by scripts/with-desktop, which sets
# DISPLAY and TARVELLIN_TRAY_WINDOW): its icon docks into the tray, a right click on it shows the menu, and
# the menu's 終了 ends the program with status 0 and nothing saved; after an automatic refresh below the
# threshold the warning box comes up with its text, and 終了 ends the program also while it is up.
# Screenshots of the menu and the box are left in the run folder.
#
#   desktop_test.sh <wine> <tarvellin.exe> <tarvellin_wine_window.exe> <run folder>
set -uo pipefail
wine=$1 exe=$2 probe=$3 run=$4

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

# The icon: a window of Wine's explorer docked into the tray panel.
tray_icon() {
    local child
    for child in $(xwininfo -children -id "$TARVELLIN_TRAY_WINDOW" 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
        xwininfo -children -id "$child" 2>/dev/null | awk '/"explorer.exe"/ {print $1; exit}'
    done | head -n 1
}

agent=""
trap '[[ -n $agent ]] && kill "$agent" 2>/dev/null' EXIT

# start <settings>: starts the program with these settings; sets icon to its tray icon (empty when none came).
start() {
    printf '[Setting]\r\n%s' "$1" >"$run/tarvellin.ini"
    (cd "$run" && exec "$wine" "$exe" </dev/null >/dev/null 2>&1) &
    agent=$!
    icon=""
    for _ in $(seq 1 100); do
        icon=$(tray_icon)
        [[ -n $icon ]] && break
        sleep 0.1
    done
}

# exit_by_menu <screenshot>: right click on the icon, then 終了; sets menu (empty when none came) and status.
exit_by_menu() {
    menu=""
    if [[ -n $icon ]]; then
        xdotool mousemove --window "$icon" 8 8 click 3
        for _ in $(seq 1 50); do
            menu=$(xdotool search --onlyvisible --class tarvellin.exe 2>/dev/null | while read -r window; do
                # The menu is the program's one window without a name.
                [[ -z $(xdotool getwindowname "$window" 2>/dev/null) ]] && echo "$window"
            done | head -n 1)
            [[ -n $menu ]] && break
            sleep 0.1
        done
    fi
    if [[ -n $menu ]]; then
        import -window root "$run/$1" 2>/dev/null || true
        eval "$(xdotool getwindowgeometry --shell "$menu")"
        # The menu holds 設定 and 終了, one above the other: the lower half is 終了.
        xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 3 / 4)) click 1
    fi
    status=none
    for _ in $(seq 1 100); do
        if ! kill -0 "$agent" 2>/dev/null; then
            wait "$agent"
            status=$?
            agent=""
            break
        fi
        sleep 0.1
    done
}

start $'NetWork=0\r\n'
cp "$run/tarvellin.ini" "$run/expected.ini"
check "the icon appears in the tray" test -n "$icon"
exit_by_menu tray-menu.png
check "a right click on the icon shows the menu" test -n "$menu"
check "終了 ends the program with status 0 (status: $status)" test "$status" = 0
check "nothing is saved on exit" cmp -s "$run/tarvellin.ini" "$run/expected.ini"
check "the icon has left the tray" test -z "$(tray_icon)"

# The first tick runs the automatic refresh; every drive is below this threshold.
start $'Auto=1\r\nTime=1\r\nKeikoku=1\r\nNokori=2000000000\r\n'
text=$("$wine" "$probe" '残容量警告！！' text </dev/null 2>/dev/null)
check "the warning box comes up after the automatic refresh with its text" \
    test "$text" = '残り容量が2000000000MBを切りました\nHDDを整理してください'
import -window root "$run/warning-box.png" 2>/dev/null || true
exit_by_menu tray-menu-over-warning.png
check "終了 ends the program while the warning box is up (status: $status)" test "$status" = 0

echo "program on the desktop under Wine: $failures failure(s)"
((failures == 0))
