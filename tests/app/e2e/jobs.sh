#!/usr/bin/env bash
# End to end: twelve servers tested side by side (--jobs) against real
# OpenVPN servers on 127.0.0.1, six up and six down, with the alerts going to
# a real SMTP server; the same catalogue one at a time; and a stop in the
# middle of a parallel run.
# usage: jobs.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/quorvex-jobs-XXXXXX)
catalogue=$work/catalogue
# Long enough for an up server to connect while eleven other tests start
# beside it on a busy two-core machine; the down ones still show whether the
# time-outs run side by side.
conn_timeout=5

# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || fail "python3-aiosmtpd is not installed"

read -r -a ports <<<"$(free_ports 12 udp)"
read -r smtp_port <<<"$(free_ports 1 tcp)"
make_pki
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/smtp.key" -out "$work/smtp.crt" \
  -days 1 -subj /CN=127.0.0.1 >/dev/null 2>&1 || fail "no certificate for the SMTP server"

mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
up=() down=()
for i in 1 2 3 4 5 6; do
  start_server "up$i" "${ports[$((i - 1))]}" "10.198.3$i.0" s3cret
  client_config "${ports[$((i - 1))]}" >"$catalogue/up$i.ovpn"
  up+=("up$i")
  # Nobody listens on the other six ports.
  client_config "${ports[$((i + 5))]}" >"$catalogue/down$i.ovpn"
  down+=("down$i")
done

maildir=$work/mail
start_smtp "$maildir" --plain-auth

cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>$conn_timeout</conn_timeout>
  <alerts>
    <smtp_server>
      <host>127.0.0.1</host>
      <login>alice</login>
      <password>mail secret</password>
      <port>$smtp_port</port>
      <ssl_tls>false</ssl_tls>
    </smtp_server>
    <message>
      <from>monitor@example.test</from>
      <subject>ignored</subject>
      <text>Server &lt;serverName&gt; did not answer.</text>
      <to>ops@example.test</to>
    </message>
  </alerts>
</settings>
XML
export QUORVEX_CONFIG_DIR=$catalogue

status_lines() { grep -P '^[0-9-]+ [0-9:]+\t[^\t]+\t' "$1" | cut -f2,3; }
status_of() { status_lines "$2" | grep -P "^$1\t" | tail -n 1 | cut -f2; }
mails() { ls "$maildir" | grep -c '\.eml$' || true; }
now_ms() { date +%s%3N; }

# --- twelve at once -------------------------------------------------------------
start=$(now_ms)
rc=0
timeout 120 "$quorvex" --headless --once --jobs 12 --settings "$work/settings.xml" \
  --state "$work/state12.xml" >"$work/jobs12.out" 2>"$work/jobs12.err" || rc=$?
took=$(($(now_ms) - start))
[ "$rc" = 2 ] || fail "--jobs 12 exited with $rc, expected 2"
for s in "${up[@]}"; do [ "$(status_of "$s" "$work/jobs12.out")" = Successful ] || fail "$s: not Successful"; done
for s in "${down[@]}"; do
  [ "$(status_of "$s" "$work/jobs12.out")" = Failed ] || fail "$s: not Failed"
  [ "$(grep -c "alert for $s sent" "$work/jobs12.out")" = 1 ] || fail "not one alert line for $s"
done
[ "$(grep -c "alert for" "$work/jobs12.out")" = 6 ] || fail "alerts for servers that are up"
[ "$(mails)" = 6 ] || fail "the SMTP server got $(mails) mails, expected 6"
for s in "${down[@]}"; do
  [ "$(grep -lx "Subject: $s Down!"$'\r' "$maildir"/*.eml | wc -l)" = 1 ] || fail "not one mail for $s"
done
head -n 1 "$work/jobs12.out" | grep -q "^QUORVEX CRITICAL - 6 of 12 servers down" ||
  fail "summary: $(head -n 1 "$work/jobs12.out")"
# The time-outs ran side by side: one at a time would take six of them.
[ "$took" -lt $((2 * conn_timeout * 1000)) ] ||
  fail "--jobs 12 took $took ms, not less than two time-outs"
[ -z "$(children_left)" ] || fail "openvpn left behind: $(children_left)"

# --- one at a time ----------------------------------------------------------------
rc=0
timeout 200 "$quorvex" --headless --once --jobs 1 --settings "$work/settings.xml" \
  --state "$work/state1.xml" >"$work/jobs1.out" 2>"$work/jobs1.err" || rc=$?
[ "$rc" = 2 ] || fail "--jobs 1 exited with $rc, expected 2"
# Each server in turn: "Running", then its result, before the next one starts.
mapfile -t lines < <(status_lines "$work/jobs1.out")
[ "${#lines[@]}" = 24 ] || fail "--jobs 1 wrote ${#lines[@]} status lines, expected 24"
seen=()
for ((k = 0; k < 24; k += 2)); do
  name=${lines[$k]%%$'\t'*}
  [ "${lines[$k]}" = "$name"$'\tRunning' ] || fail "line $k: ${lines[$k]}"
  case $name in up*) want=Successful ;; *) want=Failed ;; esac
  [ "${lines[$((k + 1))]}" = "$name"$'\t'"$want" ] || fail "line $((k + 1)): ${lines[$((k + 1))]}"
  seen+=("$name")
done
[ "$(printf '%s\n' "${seen[@]}" | sort -u | wc -l)" = 12 ] || fail "a server tested twice or not at all"
# The order of the window's cycle: the catalogue's, by name without regard to case.
listing=$(find "$catalogue" -maxdepth 1 -name '*.ovpn' -printf '%f\n' | LC_ALL=C sort -f | sed 's/\.ovpn$//' | paste -sd' ')
order=$(printf '%s\n' "${seen[@]}" | paste -sd' ')
[ "$order" = "$listing" ] || fail "tested in the order $order, not $listing"
[ "$(mails)" = 12 ] || fail "the SMTP server has $(mails) mails after --jobs 1, expected 12"

# --- a stop in the middle of a parallel run -----------------------------------------
# A single run prints its lines at its end, after the summary; the metrics
# file shows the results as they come.
"$quorvex" --headless --once --jobs 12 --settings "$work/settings.xml" \
  --state "$work/stop.xml" --metrics "$work/stop.prom" >"$work/stop.out" 2>"$work/stop.err" &
quorvex_pid=$!
ups_done() {
  for s in "${up[@]}"; do grep -qx "quorvex_server_up{server=\"$s\"} 1" "$work/stop.prom" 2>/dev/null || return 1; done
}
for _ in $(seq 200); do  # at most about 4 s; the down servers fail after 5 s
  ups_done && break
  sleep 0.02
done
ups_done || fail "the servers that are up were not all seen"
kill -TERM "$quorvex_pid"
rc=0
wait "$quorvex_pid" || rc=$?
quorvex_pid=
[ "$rc" = 3 ] || fail "the stopped run exited with $rc, expected 3"
for s in "${up[@]}"; do [ "$(status_of "$s" "$work/stop.out")" = Successful ] || fail "$s lost its result"; done
interrupted=$(status_lines "$work/stop.out" | grep -c $'\tInterrupted$' || true)
for s in "${down[@]}"; do
  st=$(status_of "$s" "$work/stop.out")
  # A test may have reached its time-out just before the stop.
  [ "$st" = Interrupted ] || [ "$st" = Failed ] || fail "$s: $st after the stop"
done
[ "$interrupted" -ge 1 ] || fail "no test was cut short"
[ -z "$(children_left)" ] || fail "openvpn left behind after SIGTERM: $(children_left)"
head -n 1 "$work/stop.out" | grep -q "^QUORVEX UNKNOWN" || fail "summary: $(head -n 1 "$work/stop.out")"

echo "PASS"
