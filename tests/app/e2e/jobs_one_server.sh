#!/usr/bin/env bash
# End to end: twelve configurations that all reach one real OpenVPN server
# (duplicate-cn), tested side by side with --jobs 12, twenty runs in a row:
# every run must find all twelve up, so that no login answer goes missing.
# usage: jobs_one_server.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/quorvex-jobs-one-XXXXXX)
catalogue=$work/catalogue
runs=20

# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn

read -r port <<<"$(free_ports 1 udp)"
make_pki
mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
for i in $(seq 12); do client_config "$port" >"$catalogue/up$i.ovpn"; done

cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>5</conn_timeout>
</settings>
XML
export QUORVEX_CONFIG_DIR=$catalogue

for run in $(seq "$runs"); do
  # A fresh server each run: one keeps the session of a client killed at the
  # end of a run, and a new client that happens to get its old port is taken
  # for that session and never let in.
  if [ "${#server_pids[@]}" -gt 0 ]; then
    stop_pid "${server_pids[0]}"
    server_pids=()
  fi
  start_server shared "$port" 10.198.40.0 s3cret duplicate-cn
  rc=0
  # A run that loses no answer takes about a second; a lost one, the time-out.
  timeout 60 "$quorvex" --headless --once --jobs 12 --settings "$work/settings.xml" \
    --state "$work/state.xml" >"$work/run.out" 2>"$work/run.err" || rc=$?
  summary=$(head -n 1 "$work/run.out")
  [ "$rc" = 0 ] || fail "run $run of $runs exited with $rc: $summary"
  case $summary in
  "QUORVEX OK - 12 of 12 servers up"*) ;;
  *) fail "run $run of $runs: $summary" ;;
  esac
done

echo "PASS"
