# Real OpenVPN servers on 127.0.0.1 for the end-to-end scripts, and the
# aiosmtpd server for their mail; sourced through common.sh, whose clean-up
# ends the processes of server_pids and the mail server, and whose fail
# MESSAGE these use.

smtp_script=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../smtp" && pwd)/smtp_server.py
smtp_pid=

need_openvpn() {
  command -v openvpn >/dev/null || fail "openvpn is not installed"
  command -v openssl >/dev/null || fail "openssl is not installed"
  [ -c /dev/net/tun ] ||
    fail "no usable tun device on this machine (/dev/net/tun is missing; the OpenVPN test servers need one)"
}

# free_ports N [udp|tcp]: N free ports on loopback, chosen now.
free_ports() {
  /usr/bin/python3 - "$1" "${2:-udp}" <<'PY'
import socket, sys
kind = socket.SOCK_DGRAM if sys.argv[2] == "udp" else socket.SOCK_STREAM
socks = [socket.socket(socket.AF_INET, kind) for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}

# Throwaway PKI in $work/pki: a CA and one server certificate; and the check
# script that accepts alice with the password given to the server.
make_pki() {
  pki=$work/pki
  mkdir -p "$pki"
  openssl_quiet() { openssl "$@" >/dev/null 2>&1 || fail "openssl $1 failed"; }
  openssl_quiet req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$pki/ca.key" -out "$pki/ca.crt" -days 2 -subj /CN=quorvex-e2e-ca
  openssl_quiet req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$pki/server.key" -out "$pki/server.csr" -subj /CN=server
  printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyAgreement\nextendedKeyUsage=serverAuth\n' \
    >"$pki/ext.cnf"
  openssl_quiet x509 -req -in "$pki/server.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
    -CAcreateserial -out "$pki/server.crt" -days 2 -extfile "$pki/ext.cnf"
  # The check script gets the expected password as its argument and the file
  # with the user name and password lines last.
  cat >"$work/check.sh" <<'SH'
#!/bin/sh
{ read -r user; read -r pass; } <"$2"
[ "$user" = alice ] && [ "$pass" = "$1" ]
SH
  chmod +x "$work/check.sh"
}

# start_server NAME PORT SUBNET PASSWORD [LINE...]: waits until it serves;
# its pid is the last entry of server_pids. Each LINE is added to its
# configuration (duplicate-cn, say, for many clients with one login).
start_server() {
  local name=$1 port=$2 subnet=$3 password=$4
  shift 4
  cat >"$work/$name.conf" <<CONF
dev tun
ifconfig-noexec
route-noexec
proto udp
local 127.0.0.1
port $port
server $subnet 255.255.255.0
topology subnet
ca $pki/ca.crt
cert $pki/server.crt
key $pki/server.key
dh none
verify-client-cert none
script-security 2
auth-user-pass-verify "$work/check.sh $password" via-file
username-as-common-name
verb 3
CONF
  local line
  for line in "$@"; do echo "$line" >>"$work/$name.conf"; done
  : >"$work/$name.log"
  openvpn --config "$work/$name.conf" --log "$work/$name.log" &
  server_pids+=($!)
  local pid=$!
  for _ in $(seq 100); do  # at most 10 s
    grep -q "Initialization Sequence Completed" "$work/$name.log" 2>/dev/null && return 0
    if grep -qiE "cannot open TUN/TAP|Cannot allocate TUN/TAP|/dev/net/tun" "$work/$name.log" 2>/dev/null ||
      ! kill -0 "$pid" 2>/dev/null; then
      grep -qiE "TUN/TAP|/dev/net/tun" "$work/$name.log" 2>/dev/null &&
        fail "no usable tun device on this machine (the OpenVPN test servers need one; run as root with /dev/net/tun)"
      fail "openvpn server $name did not start"
    fi
    sleep 0.1
  done
  fail "openvpn server $name did not start within 10 s"
}

# stop_pid PID [SECONDS]: SIGTERM, then SIGKILL after SECONDS (2); bounded.
stop_pid() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq $((${2:-2} * 10))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}

# A client configuration for the server on PORT; `dev null` needs no tun,
# and pushed addresses and routes are not applied.
client_config() {
  cat <<OVPN
client
dev null
ifconfig-noexec
route-noexec
proto udp
remote 127.0.0.1 $1
nobind
ca ca.crt
auth-user-pass
verb 3
OVPN
}

# start_smtp MAILDIR [SERVER FLAGS...]: aiosmtpd on $smtp_port with
# $work/smtp.crt and .key, accepting alice; it stops when its input closes.
start_smtp() {
  local maildir=$1
  shift
  mkdir -p "$maildir"
  rm -f "$work/smtp.in"
  mkfifo "$work/smtp.in"
  /usr/bin/python3 "$smtp_script" "$smtp_port" "$work/smtp.crt" "$work/smtp.key" "$maildir" \
    alice "mail secret" "$@" <"$work/smtp.in" >"$work/smtp.out" 2>"$work/smtp.err" &
  smtp_pid=$!
  exec 7>"$work/smtp.in"
  for _ in $(seq 200); do  # at most 20 s
    grep -q READY "$work/smtp.out" 2>/dev/null && return 0
    kill -0 "$smtp_pid" 2>/dev/null || fail "the SMTP server did not start"
    sleep 0.1
  done
  fail "the SMTP server did not start within 20 s"
}

# stop_smtp: closes its input, then ends it; bounded.
stop_smtp() {
  [ -n "$smtp_pid" ] || return 0
  exec 7>&- || true
  for _ in $(seq 50); do kill -0 "$smtp_pid" 2>/dev/null || break; sleep 0.1; done
  stop_pid "$smtp_pid"
  wait "$smtp_pid" 2>/dev/null || true
  smtp_pid=
}
