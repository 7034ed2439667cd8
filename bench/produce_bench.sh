#!/bin/sh
# Throughput of `kestrin-cli produce` with 1, 2 and 4 adapters on the virtual
# adapter in real time: an ATmega328P with 4 KB of firmware and a serial
# number right after it, an operator who takes 0.5 s to pull the chip and 1.5 s to seat the
# next. Prints chips per minute (median of RUNS runs) and the ratio of 4
# adapters to one (goal: >= 3.6, since the line waits on chips, not on the CPU).
#   bench/produce_bench.sh [build dir]    (default build/dev; RUNS=3 CHIPS=8)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
cli=$build/bin/kestrin-cli
[ -x "$cli" ] || { echo "no $cli: build kestrin-cli first" >&2; exit 1; }
runs=${RUNS:-3}
chips=${CHIPS:-8}
home=$(mktemp -d /tmp/kestrin-produce-bench-XXXXXX)
trap 'rm -rf "$home"' EXIT
head -c 4096 /dev/urandom >"$home/fw.bin"
printf 'chip = ATmega328P\nrealtime = 1\nstate_file = %s/{port}.state\nports = COM1,COM2,COM3,COM4\nchip_swap = 500:1500\n' \
  "$home" >"$home/virtual.ini"
export VELTRO_VIRTUAL_CONFIG=$home/virtual.ini XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state \
  LD_LIBRARY_PATH=$build/drivers/virtual

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for n in 1 2 4; do
  ports=""
  i=1
  while [ $i -le $n ]; do ports="$ports --port COM$i"; i=$((i + 1)); done
  rates=""
  r=1
  while [ $r -le "$runs" ]; do
    rm -rf "$home/state" "$home"/COM*.state
    t0=$(date +%s.%N)
    # shellcheck disable=SC2086
    "$cli" --chip ATmega328P produce "$home/fw.bin" $ports --count "$chips" --serial 0x1000:4:le:1 2>/dev/null
    t1=$(date +%s.%N)
    good=$(grep -c '"result":"Ok"' "$home/state/kestrin/production.log")
    rates="$rates $(echo "$good $t0 $t1" | awk '{ printf "%.2f", $1 * 60 / ($3 - $2) }')"
    r=$((r + 1))
  done
  m=$(echo "$rates" | tr ' ' '\n' | grep . | median)
  echo "adapters $n: median $m chips/min (runs:$rates)"
  eval "rate$n=$m"
done
echo "$rate1 $rate4" | awk '{ printf "scaling 4 adapters / 1 adapter: %.2f (goal >= 3.6)\n", $2 / $1 }'
