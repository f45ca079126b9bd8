#!/usr/bin/env bash
# End to end: an outage and its recovery, found by `quorvex --headless`
# against a real OpenVPN server, reach a webhook (tests/alerts/notify_peer.py)
# and a command, each once and in order; the outcome lines and the metrics
# file count them, and the webhook's secret address is never printed.
# usage: notifications.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/quorvex-notify-XXXXXX)
catalogue=$work/catalogue

# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn

# wait_until SECONDS COMMAND...: bounded.
wait_until() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}
lines() { [ -f "$1" ] && wc -l <"$1" || echo 0; }
# at_least N COMMAND...: the command prints a number of N or more (read anew at each try).
at_least() {
  local n=$1
  shift
  [ "$("$@")" -ge "$n" ]
}

read -r port_office <<<"$(free_ports 1 udp)"
make_pki
mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
client_config "$port_office" >"$catalogue/office.ovpn"
export QUORVEX_CONFIG_DIR=$catalogue

mkfifo "$work/peer.in"
/usr/bin/python3 "$here/../../alerts/notify_peer.py" "$work/hook.jsonl" <"$work/peer.in" \
  >"$work/peer.out" 2>"$work/peer.log" &
server_pids+=($!)  # ended with the servers
exec 4>"$work/peer.in"
wait_until 20 grep -q READY "$work/peer.out" || fail "the webhook service did not start"
hook_port=$(awk '/READY/ {print $2}' "$work/peer.out")

cat >"$work/notify.sh" <<'SH'
#!/bin/sh
echo "$QUORVEX_EVENT $QUORVEX_SERVER $QUORVEX_STATUS" >>"$1"
SH
chmod +x "$work/notify.sh"

cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>3</conn_timeout>
  <alerts>
    <smtp_server><host></host><login></login><password></password><port>25</port><ssl_tls>false</ssl_tls></smtp_server>
    <message><from></from><cc></cc><subject></subject><text></text><to></to></message>
  </alerts>
  <notifiers>
    <notifier name="hook" kind="webhook" events="down,up">
      <url>http://127.0.0.1:$hook_port/ok/hook/secret-token</url>
    </notifier>
    <notifier name="script" kind="command">
      <command>"$work/notify.sh" "$work/command.log"</command>
    </notifier>
  </notifiers>
</settings>
XML

"$quorvex" --headless --settings "$work/settings.xml" --state "$work/state.xml" \
  --metrics "$work/metrics.prom" >"$work/monitor.out" 2>"$work/monitor.err" &
quorvex_pid=$!

failed_lines() { grep -c $'\toffice\tFailed' "$work/monitor.out" || true; }
# Down: one notification each, and none more over two further failures.
wait_until 60 at_least 1 lines "$work/command.log" || fail "no down reached the command"
wait_until 30 at_least 1 lines "$work/hook.jsonl" || fail "no down reached the webhook"
seen=$(failed_lines)
wait_until 60 at_least $((seen + 2)) failed_lines || fail "the monitor stopped testing"
[ "$(lines "$work/hook.jsonl")" = 1 ] || fail "the webhook got $(lines "$work/hook.jsonl") downs"
[ "$(lines "$work/command.log")" = 1 ] || fail "the command ran $(lines "$work/command.log") times"

# Up: one notification each.
start_server office "$port_office" 10.198.41.0 s3cret
wait_until 60 grep -q $'\toffice\tSuccessful' "$work/monitor.out" || fail "office never came up"
wait_until 30 at_least 2 lines "$work/hook.jsonl" || fail "no up reached the webhook"
wait_until 30 at_least 2 lines "$work/command.log" || fail "no up reached the command"
up_lines() { grep -c $'\toffice\tSuccessful' "$work/monitor.out" || true; }
ups=$(up_lines)
wait_until 60 at_least $((ups + 1)) up_lines ||
  fail "the monitor stopped testing"
stop_pid "$quorvex_pid" 10
quorvex_pid=

events=$(/usr/bin/python3 -c 'import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line); b = json.loads(r["body"])
    print(r["path"], b["version"], b["event"], b["server"], b["status"])' "$work/hook.jsonl")
[ "$events" = $'/ok/hook/secret-token 1 down office Failed\n/ok/hook/secret-token 1 up office Successful' ] ||
  fail "the webhook got: $events"
[ "$(cat "$work/command.log")" = $'down office Failed\nup office Successful' ] ||
  fail "the command got: $(cat "$work/command.log")"

# The outcome lines, in order, naming the notifier and the server.
outcomes=$(grep -oE $'\t(hook|script) for office (sent|not sent.*)' "$work/monitor.out" | tr -d '\t')
[ "$outcomes" = $'hook for office sent\nscript for office sent\nhook for office sent\nscript for office sent' ] ||
  fail "the outcome lines are: $outcomes"
! grep -qE "(hook|script) for office not sent" "$work/monitor.err" || fail "a notification was not sent"
! grep -q "secret-token" "$work/monitor.out" "$work/monitor.err" || fail "the secret address was printed"
for notifier in hook script; do
  grep -qx "quorvex_notifications_sent_total{server=\"office\",notifier=\"$notifier\"} 2" \
    "$work/metrics.prom" || fail "the metrics do not count two notifications by $notifier"
done
echo "PASS"
