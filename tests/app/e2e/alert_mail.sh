#!/usr/bin/env bash
# End to end: the alert mail through a real SMTP server (aiosmtpd with
# STARTTLS and AUTH LOGIN) for a real OpenVPN server that goes down, comes
# back and goes down again, with the SMTP server stopped for a while; and
# --test-mail against the same server.
# usage: alert_mail.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/quorvex-alert-XXXXXX)
# Outages are remembered under XDG_STATE_HOME between runs: each run of this
# test starts with none, and the home folder is left alone.
export XDG_STATE_HOME=$work/state
catalogue=$work/catalogue

# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || fail "python3-aiosmtpd is not installed"

# Server names are file names; those outside ASCII need a UTF-8 locale.
export LC_ALL=C.UTF-8

read -r port_up port_down <<<"$(free_ports 2 udp)"
read -r smtp_port <<<"$(free_ports 1 tcp)"
make_pki
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/smtp.key" -out "$work/smtp.crt" \
  -days 1 -subj /CN=127.0.0.1 >/dev/null 2>&1 || fail "no certificate for the SMTP server"

# check_mail FILE SUBJECT BODY: the message as a reader sees it, and its
# header lines as written.
check_mail() {
  /usr/bin/python3 - "$@" <<'PY' || fail "message $1 is not as expected"
import email, email.policy, re, sys
path, subject, body = sys.argv[1:4]
raw = open(path, "rb").read()
msg = email.message_from_bytes(raw, policy=email.policy.default)
problems = []
def expect(what, ok):
    if not ok: problems.append(what)
expect("subject %r" % msg["subject"], msg["subject"] == subject)
def norm(text):
    return text.replace("\r\n", "\n").rstrip("\n")
expect("body %r" % msg.get_content(), norm(msg.get_content()) == norm(body))
head = raw.split(b"\r\n\r\n", 1)[0].decode("ascii").split("\r\n")
names = [line.split(":", 1)[0] for line in head if not line[:1].isspace()]
expect("From line", 'From: "monitor@example.test" <monitor@example.test>' in head)
expect("To line", "To: ops@example.test, desk@example.test" in head)
expect("Cc line", "Cc: boss@example.test" in head)
date = [l for l in head if l.startswith("Date: ")]
expect("Date line", len(date) == 1 and re.fullmatch(
    r"Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d{1,2} [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [-+]\d{4}",
    date[0]))
expect("Message-ID after Date", "Message-ID" in names and "Date" in names
       and names.index("Message-ID") > names.index("Date")
       and re.fullmatch(r"<[^<>@\s]+@[^<>@\s]+>", msg["message-id"] or ""))
expect("no Bcc", "Bcc" not in names)
if problems:
    sys.stderr.write("%s: %s\n%s\n" % (path, "; ".join(problems), raw.decode("utf-8", "replace")))
    sys.exit(1)
PY
  grep -qxE "tls=TLSv1\.[23]" "${1%.eml}.session" || fail "$1 was not delivered over TLS 1.2+"
  grep -qx "auth=alice" "${1%.eml}.session" || fail "$1 was not delivered after AUTH LOGIN"
  [ "$(cat "${1%.eml}.env")" = "$(printf 'monitor@example.test\nops@example.test\ndesk@example.test\nboss@example.test')" ] ||
    fail "$1 has the envelope $(cat "${1%.eml}.env")"
}

down="Zürich-Київ"
mkdir -p "$catalogue"
cp "$pki/ca.crt" "$catalogue/ca.crt"
client_config "$port_up" >"$catalogue/up.ovpn"
client_config "$port_down" >"$catalogue/$down.ovpn"

# settings FILE SMTP_PASSWORD
settings() {
  cat >"$1" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>0</repeat_period>
  <conn_timeout>4</conn_timeout>
  <alerts>
    <smtp_server>
      <host>127.0.0.1</host>
      <login>alice</login>
      <password>$2</password>
      <port>$smtp_port</port>
      <ssl_tls>true</ssl_tls>
    </smtp_server>
    <message>
      <from>monitor@example.test</from>
      <cc>boss@example.test</cc>
      <subject>ignored</subject>
      <text>Server &lt;serverName&gt; did not answer.&#13;&#10;Check &lt;serverName&gt; soon.</text>
      <to>ops@example.test, desk@example.test</to>
    </message>
  </alerts>
</settings>
XML
}
settings "$work/settings.xml" "mail secret"
settings "$work/wrong.xml" "not the password"
export QUORVEX_CONFIG_DIR=$catalogue

start_server up "$port_up" 10.198.21.0 s3cret
mail1=$work/mail1
start_smtp "$mail1"

# --- the test mail -----------------------------------------------------------
out=$(timeout 60 "$quorvex" --test-mail --settings "$work/settings.xml" 2>&1) ||
  fail "--test-mail failed: $out"
[ "$out" = "Test successful." ] || fail "--test-mail said: $out"
check_mail "$mail1/1.eml" "Quorvex SMTP Test" \
  "$(printf 'Server <serverName> did not answer.\r\nCheck <serverName> soon.')"
rc=0
out=$(timeout 60 "$quorvex" --test-mail --settings "$work/wrong.xml" 2>"$work/wrong.err") || rc=$?
[ "$rc" = 1 ] || fail "--test-mail with a wrong password exited with $rc"
[ -z "$out" ] || fail "--test-mail with a wrong password printed: $out"
grep -qi "auth" "$work/wrong.err" || fail "no reason given: $(cat "$work/wrong.err")"
[ ! -e "$mail1/2.eml" ] || fail "a mail went out with the wrong password"

# --- the monitor, repeating --------------------------------------------------
"$quorvex" --headless --settings "$work/settings.xml" >"$work/loop.out" 2>"$work/loop.err" &
quorvex_pid=$!

count() { grep -cF -- "$1" "$2" || true; }
# wait_for TEXT FILE N [SECONDS]: until FILE holds N lines with TEXT.
wait_for() {
  local limit=$((${4:-60} * 10))
  for _ in $(seq "$limit"); do
    [ "$(count "$1" "$2")" -ge "$3" ] && return 0
    kill -0 "$quorvex_pid" 2>/dev/null || fail "quorvex ended"
    sleep 0.1
  done
  fail "no $3 lines \"$1\" in $2 within ${4:-60} s"
}
failed_line=$(printf '\t%s\tFailed' "$down")
sent_line="alert for $down sent"
not_sent="alert for $down not sent"

# Two cycles with the server down: one alert.
wait_for "$failed_line" "$work/loop.out" 2
wait_for "$(printf '\tup\tRunning')" "$work/loop.out" 3  # the tick after the second Failed is over
[ "$(count "$sent_line" "$work/loop.out")" = 1 ] || fail "not exactly one alert after two cycles"
[ "$(count "alert for" "$work/loop.out")" = 1 ] || fail "an alert for the server that is up"
[ "$(ls "$mail1"/*.eml | wc -l)" = 2 ] || fail "the SMTP server got $(ls "$mail1"/*.eml | wc -l) mails"
check_mail "$mail1/2.eml" "$down Down!" \
  "$(printf 'Server %s did not answer.\r\nCheck %s soon.' "$down" "$down")"
grep -qF "$(printf '\tup\tSuccessful')" "$work/loop.out" || fail "the server that is up was not seen"

# The server comes up: seen Successful, so its next failure alerts again.
start_server down "$port_down" 10.198.22.0 s3cret
down_server=${server_pids[-1]}
wait_for "$(printf '\t%s\tSuccessful' "$down")" "$work/loop.out" 1 60

# It goes down while the SMTP server is stopped: Failed, the error swallowed,
# tried again at the next Failed.
stop_smtp
stop_pid "$down_server"
wait_for "$not_sent" "$work/loop.err" 2 60
failures=$(count "$failed_line" "$work/loop.out")
[ "$failures" -ge 4 ] || fail "the alerts were not tried at Failed lines"
grep -F "$not_sent" "$work/loop.err" | head -n 1 | grep -q "Connection refused" ||
  fail "the reason was not given: $(grep -F "$not_sent" "$work/loop.err" | head -n 1)"
[ "$(count "$sent_line" "$work/loop.out")" = 1 ] || fail "an alert was reported sent without a server"

# The SMTP server is back: the next Failed sends the alert.
mail2=$work/mail2
start_smtp "$mail2"
wait_for "$sent_line" "$work/loop.out" 2 60
check_mail "$mail2/1.eml" "$down Down!" \
  "$(printf 'Server %s did not answer.\r\nCheck %s soon.' "$down" "$down")"
wait_for "$failed_line" "$work/loop.out" $(($(count "$failed_line" "$work/loop.out") + 1)) 60
wait_for "$(printf '\tup\tRunning')" "$work/loop.out" $(($(count "$(printf '\tup\tRunning')" "$work/loop.out") + 1)) 60
[ "$(count "$sent_line" "$work/loop.out")" = 2 ] || fail "a second alert for the same outage"
[ "$(ls "$mail2" | grep -c '\.eml$')" = 1 ] || fail "more than one mail after the SMTP server came back"

stop_pid "$quorvex_pid" 10  # it ends the test under way first
rc=0
wait "$quorvex_pid" || rc=$?
[ "$rc" = 0 ] || fail "quorvex exited with $rc after SIGTERM"
quorvex_pid=
echo "PASS"
