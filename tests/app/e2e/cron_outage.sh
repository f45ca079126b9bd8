#!/usr/bin/env bash
# End to end: `quorvex --headless --once` started again and again as cron
# does, with the outage state kept in a state file, against a real OpenVPN
# server and a real SMTP server (aiosmtpd) that speaks TLS from the first
# byte with a certificate of a throwaway authority. One alert per outage,
# one recovery mail naming the outage's length; and the certificate check
# refusing the wrong authority and the wrong host name.
# usage: cron_outage.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/quorvex-cron-XXXXXX)
catalogue=$work/catalogue

# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || fail "python3-aiosmtpd is not installed"

read -r port_office <<<"$(free_ports 1 udp)"
read -r smtp_port <<<"$(free_ports 1 tcp)"
make_pki

# The mail server's authority, its certificate for "localhost", and an
# authority that issued nothing here.
ossl() { openssl "$@" >/dev/null 2>&1 || fail "openssl $1 failed"; }
for ca in smtp-ca other-ca; do
  ossl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$work/$ca.key" -out "$work/$ca.crt" -days 2 -subj "/CN=$ca" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign
done
ossl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
  -keyout "$work/smtp.key" -out "$work/smtp.csr" -subj /CN=localhost
printf 'basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' \
  >"$work/smtp.ext"
ossl x509 -req -in "$work/smtp.csr" -CA "$work/smtp-ca.crt" -CAkey "$work/smtp-ca.key" \
  -CAcreateserial -out "$work/smtp.crt" -days 2 -extfile "$work/smtp.ext"

mail=$work/mail
start_smtp "$mail" --implicit

mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
client_config "$port_office" >"$catalogue/office.ovpn"
export QUORVEX_CONFIG_DIR=$catalogue

# settings FILE HOST CA_FILE
settings() {
  cat >"$1" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>4</conn_timeout>
  <alerts>
    <smtp_server>
      <host>$2</host>
      <login>alice</login>
      <password>mail secret</password>
      <port>$smtp_port</port>
      <ssl_tls>false</ssl_tls>
    </smtp_server>
    <message>
      <from>monitor@example.test</from>
      <cc></cc>
      <subject>ignored</subject>
      <text>Server &lt;serverName&gt; did not answer.</text>
      <to>ops@example.test</to>
    </message>
  </alerts>
  <options>
    <recovery_mail>true</recovery_mail>
    <smtp_security>implicit_tls</smtp_security>
    <verify_certificate>true</verify_certificate>
    <ca_file>$3</ca_file>
  </options>
</settings>
XML
}
settings "$work/settings.xml" localhost "$work/smtp-ca.crt"
state=$work/state/state.xml

run=0
# once EXIT_CODE: one run as cron starts it.
once() {
  run=$((run + 1))
  local rc=0
  timeout 60 "$quorvex" --headless --once --settings "$work/settings.xml" --state "$state" \
    >"$work/run$run.out" 2>"$work/run$run.err" || rc=$?
  [ "$rc" = "$1" ] || fail "run $run exited with $rc, not $1"
}
mails() { find "$mail" -name '*.eml' | wc -l; }
# subject N: the decoded subject of message N.
subject() {
  /usr/bin/python3 -c 'import email, email.policy, sys
print(email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)["subject"])' \
    "$mail/$1.eml"
}
session_ok() {
  grep -qxE "tls=TLSv1\.[23]" "$mail/$1.session" || fail "mail $1 was not delivered over TLS 1.2+"
  grep -qx "auth=alice" "$mail/$1.session" || fail "mail $1 was not delivered after AUTH LOGIN"
}

# Down in three runs: exactly one alert.
for _ in 1 2 3; do once 2; done
[ "$(mails)" = 1 ] || fail "$(mails) mails after three runs with the server down"
[ "$(subject 1)" = "office Down!" ] || fail "the alert's subject is $(subject 1)"
session_ok 1
grep -q "alert for office sent" "$work/run1.out" || fail "run 1 did not report its alert"
! grep -q "alert for" "$work/run2.out" "$work/run3.out" || fail "runs 2 and 3 sent an alert"
[ "$(stat -c %a "$state")" = 600 ] || fail "the state file has mode $(stat -c %a "$state")"

# Up: exactly one recovery mail, naming the outage's length.
start_server office "$port_office" 10.198.31.0 s3cret
office_server=${server_pids[-1]}
once 0
once 0
[ "$(mails)" = 2 ] || fail "$(mails) mails after the server came up"
[ "$(subject 2)" = "office Up" ] || fail "the recovery mail's subject is $(subject 2)"
grep -qE "^office is up again\. The outage lasted [0-9]+ (s|min [0-9]+ s)\.\s*$" "$mail/2.eml" ||
  fail "the recovery mail does not name the outage's length: $(cat "$mail/2.eml")"
session_ok 2

# Down again: one new alert.
stop_pid "$office_server"
once 2
once 2
[ "$(mails)" = 3 ] || fail "$(mails) mails after the server went down again"
[ "$(subject 3)" = "office Down!" ] || fail "the new alert's subject is $(subject 3)"

# The certificate check names why it refuses.
check_refused() {
  local rc=0
  timeout 60 "$quorvex" --test-mail --settings "$1" >/dev/null 2>"$work/refused.err" || rc=$?
  [ "$rc" = 1 ] || fail "--test-mail with $1 exited with $rc"
  grep -qF "$2" "$work/refused.err" || fail "no reason \"$2\": $(cat "$work/refused.err")"
}
settings "$work/other-ca.xml" localhost "$work/other-ca.crt"
check_refused "$work/other-ca.xml" \
  "The certificate of the SMTP server was refused: unable to get local issuer certificate"
settings "$work/by-address.xml" 127.0.0.1 "$work/smtp-ca.crt"
check_refused "$work/by-address.xml" "The certificate of the SMTP server was refused: IP address mismatch"
out=$(timeout 60 "$quorvex" --test-mail --settings "$work/settings.xml" 2>&1) ||
  fail "--test-mail with the right authority failed: $out"
[ "$(mails)" = 4 ] || fail "the test mail did not arrive"

# A garbled state file is reported and survived.
echo "<quorvex_state><server>" >"$state"
once 2
grep -q "is damaged" "$work/run$run.err" || fail "a garbled state file was not reported"
[ "$(mails)" = 5 ] || fail "no alert after the state was lost"
echo "PASS"
