#!/bin/sh
# kestrin-cli's two timing goals, measured from outside with farm-bench on a
# release build (no GUI needed):
#   1. cold start of `kestrin-cli --version` (median <= 20 ms);
#   2. a write's wall time over the same write straight through the job
#      (bench_cli_write_job): median ratio <= 1.01.
# The write runs on the virtual adapter in real time (an AT89S8253, 8 KB).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/cli-release
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRIN_BUILD_GUI=OFF \
  -DKESTRIN_BUILD_TESTS=OFF -DKESTRIN_BUILD_ADAPTER=OFF >/dev/null
cmake --build "$build" --target kestrin-cli bench_cli_write_job veltro_virtual
home=$build/benchhome
mkdir -p "$home"
printf 'chip = AT89S8253\nrealtime = 1\nstate_file = %s/chip.state\n' "$home" >"$home/virtual.ini"
head -c 8192 /dev/urandom >"$home/fw.bin"
export VELTRO_VIRTUAL_CONFIG=$home/virtual.ini XDG_CONFIG_HOME=$home LD_LIBRARY_PATH=$build/drivers/virtual
cd "$build"
farm-bench -n 30 --warmup 3 -- bin/kestrin-cli --version
farm-bench -n 10 --warmup 1 --timeout 250 --vs "bin/bench_cli_write_job $home/fw.bin AT89S8253" -- \
  bin/kestrin-cli write "$home/fw.bin" --chip AT89S8253 --quiet
