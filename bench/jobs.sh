#!/usr/bin/env bash
# Many servers side by side: wall time of one --once cycle over 20 servers
# (10 up, 10 down, conn_timeout 3) with --jobs 1, 5 and 20, and the monitor's
# own CPU time over one minute with children waiting (20 with --jobs 20, one
# with --jobs 1, for comparison). Needs root and /dev/net/tun for the OpenVPN
# servers. Not part of the tests.
# usage: bench/jobs.sh [QUORVEX_BINARY] [SECONDS]   (build/release/quorvex, 60)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quorvex=$(realpath "${1:-$root/build/release/quorvex}")
seconds=${2:-60}
work=$(mktemp -d /tmp/quorvex-jobs-bench-XXXXXX)
catalogue=$work/catalogue

# shellcheck source=../tests/app/e2e/common.sh
source "$root/tests/app/e2e/common.sh"

need_openvpn
read -r -a ports <<<"$(free_ports 30 udp)"
make_pki
mkdir -p "$catalogue" "$work/idle"
cp "$pki/ca.crt" "$catalogue/ca.crt"
cp "$pki/ca.crt" "$work/idle/ca.crt"
for i in $(seq 10); do
  start_server "up$i" "${ports[$((i - 1))]}" "10.198.$((40 + i)).0" s3cret
  client_config "${ports[$((i - 1))]}" >"$catalogue/up$i.ovpn"
  client_config "${ports[$((i + 9))]}" >"$catalogue/down$i.ovpn"
done
# Twenty servers that never answer, for the idle run.
for i in $(seq 20); do client_config "${ports[$((i + 9))]}" >"$work/idle/wait$i.ovpn"; done

settings() {  # FILE CONN_TIMEOUT
  cat >"$1" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>$2</conn_timeout>
</settings>
XML
}
settings "$work/cycle.xml" 3
settings "$work/idle.xml" 3600

now_ms() { date +%s%3N; }
echo "one --once cycle, 20 servers (10 up, 10 down), conn_timeout 3:"
for jobs in 1 5 20; do
  start=$(now_ms)
  QUORVEX_CONFIG_DIR=$catalogue "$quorvex" --headless --once --jobs "$jobs" \
    --settings "$work/cycle.xml" --state "$work/state$jobs.xml" >"$work/cycle$jobs.out" 2>&1 || true
  took=$(($(now_ms) - start))
  summary=$(head -n 1 "$work/cycle$jobs.out")  # the plugin summary comes first
  printf '  --jobs %-3s %6d ms   %s\n' "$jobs" "$took" "${summary%%|*}"
done

ticks=$(getconf CLK_TCK)
echo "the monitor's own CPU time over $seconds s with children waiting:"
for jobs in 1 20; do
  QUORVEX_CONFIG_DIR=$work/idle "$quorvex" --headless --jobs "$jobs" --settings "$work/idle.xml" \
    --state "$work/idle$jobs.xml" >"$work/idle$jobs.out" 2>&1 &
  quorvex_pid=$!
  sleep "$seconds"
  read -r -a stat <"/proc/$quorvex_pid/stat"
  # utime and stime of the monitor alone (its children's are not counted)
  cpu=$((stat[13] + stat[14]))
  children=$(grep -c $'\tRunning$' "$work/idle$jobs.out" || true)
  stop_pid "$quorvex_pid" 10
  wait "$quorvex_pid" 2>/dev/null || true
  quorvex_pid=
  printf '  --jobs %-3s %d children: %d.%02d s CPU\n' "$jobs" "$children" \
    $((cpu / ticks)) $((cpu * 100 / ticks % 100))
done
