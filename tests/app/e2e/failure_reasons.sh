#!/usr/bin/env bash
# Why a server failed, against real OpenVPN peers on 127.0.0.1: a wrong
# password, closed UDP and TCP ports, a server certificate from another CA,
# a name that cannot resolve and a configuration openvpn refuses.
# usage: failure_reasons.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
work=$(mktemp -d /tmp/quorvex-e2e-XXXXXX)
export XDG_STATE_HOME=$work/state
catalogue=$work/catalogue

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn
read -r port_server port_closed_udp <<<"$(free_ports 2 udp)"
read -r port_closed_tcp <<<"$(free_ports 1 tcp)"
make_pki
mkdir -p "$catalogue"
start_server server "$port_server" 10.198.21.0 another-password

cp "$pki/ca.crt" "$catalogue/ca.crt"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
  -keyout "$work/other-ca.key" -out "$catalogue/other-ca.crt" -days 2 -subj /CN=other-ca \
  >/dev/null 2>&1 || fail "openssl could not make the other CA"

client_config "$port_server" >"$catalogue/wrong-password.ovpn"
client_config "$port_closed_udp" >"$catalogue/closed-udp.ovpn"
client_config "$port_closed_tcp" | sed 's/^proto udp$/proto tcp-client/' >"$catalogue/closed-tcp.ovpn"
client_config "$port_server" | sed 's/^ca ca.crt$/ca other-ca.crt/' >"$catalogue/other-ca.ovpn"
client_config "$port_server" | sed 's/^remote 127.0.0.1 /remote vpn.quorvex.invalid /' \
  >"$catalogue/no-name.ovpn"
{ client_config "$port_server"; echo "frobnicate yes"; } >"$catalogue/bad-option.ovpn"

cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>5</repeat_period>
  <conn_timeout>8</conn_timeout>
</settings>
XML

rc=0
QUORVEX_CONFIG_DIR=$catalogue timeout 120 "$quorvex" --headless --once --jobs 6 \
  --settings "$work/settings.xml" --metrics "$work/quorvex.prom" >"$work/once.out" \
  2>"$work/once.err" || rc=$?
[ "$rc" = 2 ] || fail "--once exited with $rc, expected 2"

reason_of() { grep -P "^[0-9-]+ [0-9:]+\t$1\tFailed\t" "$work/once.out" | tail -n 1 | cut -f4; }
summary=$(head -n 1 "$work/once.out")
while read -r server reason; do
  [ "$(reason_of "$server")" = "$reason" ] ||
    fail "$server: reason '$(reason_of "$server")', expected '$reason'"
  grep -qF "$server ($reason)" <<<"$summary" || fail "$server ($reason) missing from: $summary"
  grep -qF "quorvex_server_failure{server=\"$server\",reason=\"$reason\"} 1" "$work/quorvex.prom" ||
    fail "$server: no failure series with '$reason' in the metrics"
done <<'CASES'
wrong-password authentication refused
closed-udp refused
closed-tcp refused
other-ca TLS failed
no-name name not resolved
bad-option configuration error
CASES
case "$summary" in
  "QUORVEX CRITICAL - 6 of 6 servers down: "*" | up=0;;;0;6 down=6;;0;0;6") ;;
  *) fail "unexpected summary: $summary" ;;
esac
echo PASS
