#!/bin/sh
# Builds the refresh-cycle benchmark and prints the refresh cycle, the floor and their ratio.
# Usage: bench/refresh/run.sh [build folder]   (run as root to put the ten drives on tmpfs mounts)
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVELLIN_BUILD_BENCH=ON
else
    cmake -DTARVELLIN_BUILD_BENCH=ON "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target bench_refresh
"$build_dir/bin/bench_refresh" --benchmark_counters_tabular=true
