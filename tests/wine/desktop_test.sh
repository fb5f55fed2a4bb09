#!/usr/bin/env bash
# The Windows program under Wine on an X display with a system tray (run by scripts/with-desktop, which sets
# DISPLAY and TARVELLIN_TRAY_WINDOW): its icon docks into the tray, a right click on it shows the menu, and
# the menu's 終了 ends the program with status 0 and nothing saved; a double click opens the settings dialog
# once, and its buttons the drive and network dialogs; after an automatic refresh below the
# threshold the warning box comes up with its text, a double click still opens the settings dialog over it,
# and 終了 ends the program also while both are up. A drive below its limit at the start is told once, in the
# icon's balloon, read back from Wine's shell.
# Screenshots of the tray, the menu, the dialogs and the box are left in the run folder.
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
        import -window "$menu" "$run/$1" 2>/dev/null || true
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

# visible <caption>: how many of the program's dialogs with this caption are visible.
visible() { "$wine" "$probe" "$1" visible </dev/null 2>/dev/null; }
# wait_visible <caption> <count>: waits up to 5 s for that many.
wait_visible() {
    for _ in $(seq 1 50); do
        [[ $(visible "$1") == "$2" ]] && return 0
        sleep 0.1
    done
    return 1
}
# shoot <caption> <file>: a picture of the visible dialog with this caption.
shoot() {
    local window
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [[ -n $window ]] && import -window "$window" "$run/$2" 2>/dev/null || true
}
double_click() { xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 80 1; }
icons_in_tray() { xwininfo -tree -id "$TARVELLIN_TRAY_WINDOW" 2>/dev/null | grep -c '"explorer.exe"'; }

start $'NetWork=0\r\n'
cp "$run/tarvellin.ini" "$run/expected.ini"
check "the icon appears in the tray" test -n "$icon"
check "the launcher and the tray agent stay hidden" \
    test -z "$(xdotool search --onlyvisible --class tarvellin.exe 2>/dev/null)"
[[ -n $icon ]] && import -window "$TARVELLIN_TRAY_WINDOW" "$run/tray.png" 2>/dev/null

double_click
check "a double click on the icon opens the settings dialog" wait_visible 'tarvellin Ver2.10' 1
shoot 'tarvellin Ver2.10' settings.png
double_click
sleep 0.5
check "a second double click opens no second settings dialog" test "$(visible 'tarvellin Ver2.10')" = 1
"$wine" "$probe" 'tarvellin Ver2.10' post 273 1001 </dev/null
check "ドライブ設定 opens the drive settings" wait_visible 'ﾀﾞｲｱﾛｸﾞ' 1
shoot 'ﾀﾞｲｱﾛｸﾞ' drive.png
"$wine" "$probe" 'ﾀﾞｲｱﾛｸﾞ' post 273 2 </dev/null
wait_visible 'ﾀﾞｲｱﾛｸﾞ' 0
"$wine" "$probe" 'tarvellin Ver2.10' post 273 1019 </dev/null
check "詳細 opens the network settings" wait_visible 'ネットワーク設定' 1
shoot 'ネットワーク設定' network.png
"$wine" "$probe" 'ネットワーク設定' post 273 2 </dev/null
wait_visible 'ネットワーク設定' 0

# A notification area made anew (Explorer restarted) announces itself; the icon is then there once.
"$wine" "$probe" TaskbarCreated broadcast </dev/null
sleep 0.5
check "after TaskbarCreated the icon is in the tray once ($(icons_in_tray))" test "$(icons_in_tray)" = 1
exit_by_menu tray-menu.png
check "a right click on the icon shows the menu, also while the settings are open" test -n "$menu"
check "終了 ends the program and its dialog with status 0 (status: $status)" test "$status" = 0
check "nothing is saved on exit" cmp -s "$run/tarvellin.ini" "$run/expected.ini"
check "the icon has left the tray" test -z "$(tray_icon)"

# The first tick runs the automatic refresh; every drive is below this threshold (the largest the dialog takes).
start $'Auto=1\r\nTime=1\r\nKeikoku=1\r\nNokori=1000000000\r\n'
text=$("$wine" "$probe" '残容量警告！！' text </dev/null 2>/dev/null)
check "the warning box comes up after the automatic refresh with its text" \
    test "$text" = '残り容量が1000000000MBを切りました\nHDDを整理してください'
shoot '残容量警告！！' warning-box.png
double_click
check "a double click opens the settings dialog while the warning box is up" wait_visible 'tarvellin Ver2.10' 1
shoot 'tarvellin Ver2.10' settings-over-warning.png
exit_by_menu tray-menu-over-warning.png
check "終了 ends the program while the warning box and the settings are up (status: $status)" test "$status" = 0

# C: is the prefix's drive_c, never all free. Wine's shell shows a balloon 2 s after it is told, for 10 s; a click
# on it tells the program nothing (no NIN_BALLOONUSERCLICK in Wine 8), so opening the settings from it is not tried.
start $'NetWork=0\r\nDirectory="C"\r\n[Limits]\r\nC=100%\r\n'
"$wine" "$probe" - balloons 14000 </dev/null >"$run/balloons.txt" 2>/dev/null &
watcher=$!
for _ in $(seq 1 100); do
    [[ -s $run/balloons.txt ]] && break
    sleep 0.1
done
read -r balloon text <"$run/balloons.txt"
check "a drive below its limit at the start is told in the icon's balloon ($text)" \
    test "${text#C: low on free space: }" != "$text"
[[ ${balloon:-0} != 0 ]] && import -window "$balloon" "$run/balloon.png" 2>/dev/null
wait "$watcher"
balloons=$(grep -c . "$run/balloons.txt")
check "the balloon comes once ($balloons)" test "$balloons" = 1
exit_by_menu tray-menu-after-balloon.png

echo "program on the desktop under Wine: $failures failure(s)"
((failures == 0))
