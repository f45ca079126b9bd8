#!/usr/bin/env bash
# End to end against real OpenVPN servers on 127.0.0.1: one accepts alice,
# one expects another password, and one port has no server at all.
# usage: openvpn_headless.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
work=$(mktemp -d /tmp/quorvex-e2e-XXXXXX)
# Outages are remembered under XDG_STATE_HOME between runs: each run of this
# test starts with none, and the home folder is left alone.
export XDG_STATE_HOME=$work/state
catalogue=$work/catalogue

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
source "$here/common.sh"

need_openvpn
skipped=
read -r port_alice port_other port_closed <<<"$(free_ports 3)"
make_pki
mkdir -p "$catalogue"
start_server alice "$port_alice" 10.198.11.0 s3cret
start_server other "$port_other" 10.198.12.0 another-password

cp "$pki/ca.crt" "$catalogue/ca.crt"
client_config "$port_alice" >"$catalogue/good.ovpn"
client_config "$port_other" >"$catalogue/wrong.ovpn"
client_config "$port_closed" >"$catalogue/closed.ovpn"

cat >"$work/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>5</repeat_period>
  <conn_timeout>4</conn_timeout>
</settings>
XML

export QUORVEX_CONFIG_DIR=$catalogue

# --- one cycle ---------------------------------------------------------------
rc=0
timeout 120 "$quorvex" --headless --once --verbose --settings "$work/settings.xml" \
  --metrics "$work/metrics/quorvex.prom" >"$work/once.out" 2>"$work/once.err" || rc=$?
[ "$rc" = 2 ] || fail "--once exited with $rc, expected 2"
# Monitoring engines read the first line; the status lines follow it.
last=$(head -n 1 "$work/once.out")
case "$last" in
  "QUORVEX CRITICAL - 2 of 3 servers down: "*" | up=1;;;0;3 down=2;;0;0;3") ;;
  *) fail "unexpected summary: $last" ;;
esac
for down in closed wrong; do
  grep -q "$down" <<<"${last%%|*}" || fail "$down missing from the summary: $last"
done
status_of() { grep -P "^[0-9-]+ [0-9:]+\t$1\t" "$work/once.out" | tail -n 1 | cut -f3; }
[ "$(status_of good)" = Successful ] || fail "good: $(status_of good)"
[ "$(status_of wrong)" = Failed ] || fail "wrong: $(status_of wrong)"
[ "$(status_of closed)" = Failed ] || fail "closed: $(status_of closed)"
grep -q "AUTH_FAILED" "$work/once.out" || fail "the wrong password was not refused by the server"
grep -q "Enter Auth Password:" "$work/once.out" || fail "no password prompt was answered"
! grep -q "s3cret" "$work/once.out" || fail "the password was shown"
grep -q "alert for .* not sent" "$work/once.err" || fail "no line about the unsent alert"
left=$(children_left)
[ -z "$left" ] || fail "openvpn left behind: $left"
# The metrics file, read back with the text format's parser.
/usr/bin/python3 "$(dirname "$0")/check_metrics.py" "$work/metrics/quorvex.prom" \
  good=up wrong=down closed=down 2>"$work/metrics.err" ||
  fail "metrics: $(cat "$work/metrics.err")"

# --- repeating, stopped by SIGTERM in the middle of a test -------------------
"$quorvex" --headless --settings "$work/settings.xml" >"$work/loop.out" 2>"$work/loop.err" &
quorvex_pid=$!
for _ in $(seq 200); do  # at most 20 s
  grep -qP "\tclosed\tRunning$" "$work/loop.out" && break
  sleep 0.1
done
grep -qP "\tclosed\tRunning$" "$work/loop.out" || fail "the repeating run never tested closed"
kill -TERM "$quorvex_pid"
rc=0
for _ in $(seq 100); do  # at most 10 s
  kill -0 "$quorvex_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$quorvex_pid" 2>/dev/null && fail "quorvex did not stop within 10 s of SIGTERM"
wait "$quorvex_pid" || rc=$?
quorvex_pid=
[ "$rc" = 0 ] || fail "the repeating run exited with $rc after SIGTERM"
tail -n 1 "$work/loop.out" | grep -qP "\tclosed\tInterrupted$" ||
  fail "the test under way was not marked Interrupted"
left=$(children_left)
[ -z "$left" ] || fail "openvpn left behind after SIGTERM: $left"

# --- a machine booted with systemd --------------------------------------------
# openvpn then asks through systemd's password agent, with prompts of its own.
# The look of such a boot is made in a mount namespace of the monitor's own.
mkdir -p "$work/systemd"
cp "$pki/ca.crt" "$work/systemd/ca.crt"
client_config "$port_alice" >"$work/systemd/good.conf"
if ! command -v systemd-ask-password >/dev/null; then
  fail "systemd-ask-password is not installed (Debian package systemd)"
elif ! unshare -m true 2>/dev/null; then
  skipped="the systemd-booted case: this user may not create a mount namespace (unshare -m)"
else
  rc=0
  # tmpfs over /run/systemd, or over /run where that is missing; only the new
  # namespace sees it.
  QUORVEX_CONFIG_DIR=$work/systemd timeout 60 unshare -m sh -c '
    if [ -d /run/systemd ]; then mount -t tmpfs tmpfs /run/systemd; else mount -t tmpfs tmpfs /run; fi &&
      mkdir -p /run/systemd/system && exec "$@"' sh \
    "$quorvex" --headless --once --verbose --settings "$work/settings.xml" \
    >"$work/systemd.out" 2>"$work/systemd.err" || rc=$?
  # The agent's prompt has a trailing blank; openvpn's own has none.
  grep -qF "Enter Auth Username: " "$work/systemd.out" ||
    fail "openvpn did not ask through systemd's password agent"
  [ "$rc" = 0 ] || fail "the systemd-booted run exited with $rc, expected 0"
  head -n 1 "$work/systemd.out" | grep -q "^QUORVEX OK - 1 of 1 servers up" ||
    fail "systemd-booted summary: $(head -n 1 "$work/systemd.out")"
  ! grep -q "s3cret" "$work/systemd.out" || fail "the password was shown"
fi

# --- a tunnel configuration, tested by root and by a normal user ----------------
# `dev tun` needs root, and `redirect-gateway` would move the default route;
# the test only asks whether the server accepts the connection.
tun=$work/tun
mkdir -p "$tun/bin"
cp "$pki/ca.crt" "$tun/ca.crt"
cp "$quorvex" "$tun/bin/quorvex"  # the build folder may be closed to other users
cat >"$tun/office.conf" <<CONF
client
dev tun
redirect-gateway def1
proto udp
remote 127.0.0.1 $port_alice
nobind
ca ca.crt
auth-user-pass
verb 3
CONF
cp "$work/settings.xml" "$tun/settings.xml"
chmod 755 "$work" "$tun" "$tun/bin"
chmod 644 "$tun/ca.crt" "$tun/office.conf" "$tun/settings.xml"

routes() { ip route show table all; ip -6 route show table all; }
routes_before=$(routes)
for user in root nobody; do
  if [ "$user" = root ]; then
    run_as=()
  else
    run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  QUORVEX_CONFIG_DIR=$tun timeout 60 "${run_as[@]}" "$tun/bin/quorvex" --headless --once --verbose \
    --settings "$tun/settings.xml" >"$work/tun-$user.out" 2>"$work/tun-$user.err" &
  run_pid=$!
  quorvex_pid=$run_pid  # ended by the clean-up should a check below fail
  # The routing table is looked at all through the test.
  while kill -0 "$run_pid" 2>/dev/null; do
    [ "$(routes)" = "$routes_before" ] || fail "the routing table changed during $user's test"
    sleep 0.1
  done
  rc=0
  wait "$run_pid" || rc=$?
  quorvex_pid=
  [ "$(routes)" = "$routes_before" ] || fail "the routing table changed after $user's test"
  [ "$rc" = 0 ] || fail "$user's tunnel test exited with $rc, expected 0"
  head -n 1 "$work/tun-$user.out" | grep -q "^QUORVEX OK - 1 of 1 servers up" ||
    fail "$user's tunnel test: $(head -n 1 "$work/tun-$user.out")"
done

# The rest passed; ctest counts the run as skipped and shows why.
if [ -n "$skipped" ]; then
  echo "SKIP: $skipped"
  exit 77
fi
echo "PASS"
