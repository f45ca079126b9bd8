#!/usr/bin/env bash
# Scale: one --headless --once cycle over many configurations, most of them
# down (closed UDP ports) and some up (real OpenVPN servers on loopback;
# with few servers, several configurations share one through duplicate-cn),
# conn_timeout 5. Reports the cycle's wall time against its slowest single
# test, and the monitor's own CPU time and peak RSS (its children's not
# counted), overall and per test. Needs root and /dev/net/tun. Not a test.
# usage: bench/scale.sh [QUORVEX_BINARY] [CONFIGS] [UP] [SERVERS] [JOBS...]
#        (build/release/quorvex, 1000, 100, 10, 100 1000)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quorvex=$(realpath "${1:-$root/build/release/quorvex}")
configs=${2:-1000}
up=${3:-100}
servers=${4:-10}
jobs_list=("${@:5}")
[ ${#jobs_list[@]} -gt 0 ] || jobs_list=(100 1000)
timeout=5
work=$(mktemp -d /tmp/quorvex-scale-bench-XXXXXX)
catalogue=$work/catalogue

# shellcheck source=../tests/app/e2e/common.sh
source "$root/tests/app/e2e/common.sh"

need_openvpn
read -r -a ports <<<"$(free_ports $((servers + 1)) udp)"
closed=${ports[$servers]}  # nothing listens there once the helper has let it go
make_pki
mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
for i in $(seq 0 $((servers - 1))); do
  start_server "up$i" "${ports[$i]}" "10.$((200 + i / 200)).$((i % 200)).0" s3cret duplicate-cn
done
for i in $(seq "$configs"); do
  if [ "$i" -le "$up" ]; then
    client_config "${ports[$((i % servers))]}" >"$catalogue/up$i.ovpn"
  else
    client_config "$closed" >"$catalogue/down$i.ovpn"
  fi
done
cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>$timeout</conn_timeout>
</settings>
XML

ticks=$(getconf CLK_TCK)
now_ms() { date +%s%3N; }
echo "one --once cycle: $configs configurations, $up up ($servers servers), conn_timeout $timeout"
echo "on $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg) at the start"
for jobs in "${jobs_list[@]}"; do
  rm -f "$work/state.xml"
  start=$(now_ms)
  # The monitor reports its own figures as it exits: it is its own parent here.
  QUORVEX_CONFIG_DIR=$catalogue "$quorvex" --headless --once --jobs "$jobs" \
    --settings "$work/settings.xml" --state "$work/state.xml" >"$work/cycle.out" 2>"$work/cycle.err" &
  pid=$!
  peak=0 cpu=0
  while kill -0 "$pid" 2>/dev/null; do
    if status=$(cat "/proc/$pid/status" 2>/dev/null) && stat=$(cat "/proc/$pid/stat" 2>/dev/null); then
      hwm=$(awk '/^VmHWM:/ {print $2}' <<<"$status")
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
      read -r -a fields <<<"${stat#*) }"
      # utime and stime of the monitor alone (fields 14 and 15)
      [ "${fields[0]}" != Z ] && cpu=$((fields[11] + fields[12]))
    fi
    sleep 0.05
  done
  wait "$pid" || true
  took=$(($(now_ms) - start))
  summary=$(head -n 1 "$work/cycle.out")  # the plugin summary comes first
  ups=$(grep -c $'\tSuccessful$' "$work/cycle.out" || true)
  downs=$(grep -c $'\tFailed$' "$work/cycle.out" || true)
  slowest=$((timeout * 1000))
  printf '  --jobs %-5s cycle %6d ms (%.2f x the %d ms time-out), %d up, %d down\n' "$jobs" "$took" \
    "$(awk -v a="$took" -v b="$slowest" 'BEGIN {print a / b}')" "$slowest" "$ups" "$downs"
  printf '               monitor CPU %d.%02d s (%d us per test), peak RSS %d kB (%d B per test)\n' \
    $((cpu / ticks)) $((cpu * 100 / ticks % 100)) $((cpu * 1000000 / ticks / configs)) \
    "$peak" $((peak * 1024 / configs))
  [ "$ups" -eq "$up" ] || echo "    (only $ups of $up up found up: ${summary:0:120})"
done
