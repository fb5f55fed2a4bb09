#!/usr/bin/env bash
# Idle cost of the agent: CPU share of one core and resident memory over a measuring window, for the desktop
# agent (private Xvfb display with a trayer tray) and the headless agent side by side in the same run.
#   bench/desktop/run.sh [path/to/tarvellin] [seconds]
# Goals: desktop at most 0.1 % of a core and 40 MB resident; headless at most 0.1 % and 15 MB; wake-ups (voluntary
# context switches of all threads) desktop at most 1 a second, headless at most 2 a minute.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
binary=${1:-$root/build/bin/tarvellin}
seconds=${2:-60}
[[ -x "$binary" ]] || { echo "no program at $binary" >&2; exit 1; }

work=$(mktemp -d /tmp/tarvellin-idle.XXXXXX)
trap 'rm -rf "$work"' EXIT

# One refresh at start (Auto on, due at once), then 30 minutes of quiet: the window sees only idle ticks.
prepare() {
    mkdir -p "$1/status"
    printf '[Setting]\nAuto=1\nTime=30\nPort=0\nPath="%s/status/"\n' "$1" >"$1/tarvellin.ini"
}
prepare "$work/desktop"
prepare "$work/headless"

cat >"$work/measure.sh" <<'INNER'
#!/usr/bin/env bash
# Runs both agents, lets them settle, and prints the figures of the window.
set -euo pipefail
binary=$1; work=$2; seconds=$3
# CPU time in nanoseconds, all threads (the scheduler's own account, finer than the 10 ms clock ticks).
cpu() {
    local total=0 t
    for t in /proc/$1/task/*/schedstat; do total=$((total + $(cut -d' ' -f1 "$t"))); done
    echo "$total"
}
kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/status"; }
# Wake-ups: the voluntary context switches of all threads (each sleep that ends counts once).
wakeups() { cat /proc/"$1"/task/*/status | awk '$1 == "voluntary_ctxt_switches:" { n += $2 } END { print n + 0 }'; }

(cd "$work/desktop" && exec "$binary") 2>"$work/desktop.err" &
desktop=$!
(cd "$work/headless" && exec env -u DISPLAY -u WAYLAND_DISPLAY "$binary") 2>"$work/headless.err" &
headless=$!
sleep 5
xwininfo -root -tree | grep -q '"tarvellin": ("tarvellin" "tarvellin")' && icon=yes || icon=no

d0=$(cpu $desktop); h0=$(cpu $headless); dw0=$(wakeups $desktop); hw0=$(wakeups $headless); t0=$(date +%s.%N)
sleep "$seconds"
d1=$(cpu $desktop); h1=$(cpu $headless); dw1=$(wakeups $desktop); hw1=$(wakeups $headless); t1=$(date +%s.%N)
drss=$(kb $desktop VmRSS); dhwm=$(kb $desktop VmHWM)
hrss=$(kb $headless VmRSS); hhwm=$(kb $headless VmHWM)
kill -TERM $desktop $headless
wait $desktop; dcode=$?
wait $headless; hcode=$?

awk -v d="$((d1 - d0))" -v h="$((h1 - h0))" -v t0="$t0" -v t1="$t1" \
    -v drss="$drss" -v dhwm="$dhwm" -v hrss="$hrss" -v hhwm="$hhwm" -v icon="$icon" \
    -v dcode="$dcode" -v hcode="$hcode" -v dw="$((dw1 - dw0))" -v hw="$((hw1 - hw0))" 'BEGIN {
    wall = t1 - t0
    printf "window            %.1f s\n", wall
    printf "desktop  (tray icon docked: %s)  CPU %.4f %% of a core  RSS %.1f MB  peak %.1f MB  exit %d\n",
           icon, 100 * d / 1e9 / wall, drss / 1024, dhwm / 1024, dcode
    printf "headless                         CPU %.4f %% of a core  RSS %.1f MB  peak %.1f MB  exit %d\n",
           100 * h / 1e9 / wall, hrss / 1024, hhwm / 1024, hcode
    printf "wake-ups  desktop %d (%.2f a second; goal at most 1)   headless %d (%.2f a minute; goal at most 2)\n",
           dw, dw / wall, hw, hw * 60 / wall
}'
INNER
chmod +x "$work/measure.sh"
"$root/scripts/with-desktop" -- "$work/measure.sh" "$binary" "$work" "$seconds"
