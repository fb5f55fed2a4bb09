#!/bin/sh
# Builds the program and the command-port benchmark, then prints requests per second and latency of the
# agent beside a bare server, on loopback. Usage: bench/net/run.sh [build folder] [scale] [baseline program]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
scale=${2:-1}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVELLIN_BUILD_BENCH=ON
fi
cmake --build "$build" -j2 --target tarvellin net_command_port_bench
"$build/bin/net_command_port_bench" "$scale" ${3:+"$3"}
