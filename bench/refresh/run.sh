#!/bin/sh
# Builds the refresh-cycle benchmark and prints the refresh cycle, the floor and their ratio.
# Usage: bench/refresh/run.sh [build folder] [benchmark options]
# Run it as root to put the ten drives on tmpfs mounts of their own; otherwise they are folders of one
# filesystem under /tmp.
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build}
[ $# -gt 0 ] && shift
if ! cmake --build "$build_dir" --target bench_refresh >/dev/null 2>&1; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVELLIN_BUILD_BENCH=ON
    cmake --build "$build_dir" --target bench_refresh
fi
cd /tmp
"$build_dir/bin/bench_refresh" --benchmark_color=false "$@"
