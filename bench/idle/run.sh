#!/bin/sh
# Starts the headless agent (no display, default settings, in an empty temporary folder) and measures
# its CPU time and memory while it idles.
# Usage: bench/idle/run.sh [build folder] [seconds] [keys]   (defaults: <source>/build, 60, none)
# keys: lines of the [Setting] section to start with, e.g. 'Auto=1' (default settings otherwise).
# Goals: at most 0.1 % of one core, at most 3 MB resident, at most 2 wake-ups a minute.
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build}
seconds=${2:-60}
keys=${3:-}
program=$build_dir/bin/tarvellin

if [ ! -x "$program" ]; then
    echo "building $program" >&2
    cmake --build "$build_dir" --target tarvellin >&2
fi

work=$(mktemp -d /tmp/tarvellin-idle-XXXXXX)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# utime + stime of the process in clock ticks (fields 14 and 15, counted after the command name).
cpu_ticks() {
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}
# On-CPU nanoseconds of all its threads, from the scheduler's own accounting.
cpu_nanoseconds() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%.0f\n", sum }'
}
now_nanoseconds() {
    date +%s%N
}
# Voluntary context switches of all its threads: each sleep that ends is one wake-up.
wakeups() {
    cat /proc/"$1"/task/*/status | awk '$1 == "voluntary_ctxt_switches:" { n += $2 } END { print n + 0 }'
}
status_kb() {
    awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

cd "$work"
if [ -n "$keys" ]; then
    printf '[Setting]\n%s\n' "$keys" >tarvellin.ini
fi
env -u DISPLAY -u WAYLAND_DISPLAY "$program" >"$work/stdout.log" 2>"$work/stderr.log" &
pid=$!
sleep 3 # start-up: settings load, first measurement, listener
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended during start-up; its stderr:" >&2
    cat "$work/stderr.log" >&2
    exit 1
fi

ticks_per_second=$(getconf CLK_TCK)
start_ticks=$(cpu_ticks "$pid")
start_ns=$(cpu_nanoseconds "$pid")
start_wall=$(now_nanoseconds)
start_wakeups=$(wakeups "$pid")
sleep "$seconds"
end_wakeups=$(wakeups "$pid")
end_ticks=$(cpu_ticks "$pid")
end_ns=$(cpu_nanoseconds "$pid")
end_wall=$(now_nanoseconds)
rss_kb=$(status_kb "$pid" VmRSS)
hwm_kb=$(status_kb "$pid" VmHWM)
threads=$(status_kb "$pid" Threads)
# How much of it is the program's own (anonymous) memory, and its proportional share of shared libraries.
anon_kb=$(awk '$1 == "Pss_Anon:" { print $2 }' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
pss_kb=$(awk '$1 == "Pss:" { print $2 }' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)

awk -v t0="$start_ticks" -v t1="$end_ticks" -v hz="$ticks_per_second" -v n0="$start_ns" -v n1="$end_ns" \
    -v w0="$start_wall" -v w1="$end_wall" -v rss="$rss_kb" -v hwm="$hwm_kb" -v threads="$threads" \
    -v anon="${anon_kb:-0}" -v pss="${pss_kb:-0}" -v wakeups="$((end_wakeups - start_wakeups))" 'BEGIN {
    wall = (w1 - w0) / 1e9
    printf "idle over %.1f s (threads: %d)\n", wall, threads
    printf "wake-ups: %d (%.2f a minute)   goal: at most 2 a minute\n", wakeups, wakeups * 60 / wall
    printf "CPU (utime+stime): %.3f %% of one core (%d ticks of 1/%d s)   goal: at most 0.1 %%\n", \
        100 * (t1 - t0) / hz / wall, t1 - t0, hz
    printf "CPU (schedstat):   %.4f %% of one core (%.1f ms)\n", 100 * (n1 - n0) / 1e9 / wall, (n1 - n0) / 1e6
    printf "memory: VmRSS %.1f MB, VmHWM %.1f MB   goal: at most 3 MB\n", rss / 1024, hwm / 1024
    printf "        (of it: PSS %.1f MB, anonymous %.1f MB; the rest is shared-library pages; MB = 2^20 bytes)\n", \
        pss / 1024, anon / 1024
}'
if [ -s "$work/stderr.log" ]; then
    echo "its stderr:"
    sed 's/^/  /' "$work/stderr.log"
fi
