#!/bin/sh
# Runs a Windows test program under Wine beside a real SMTP server on Linux
# (aiosmtpd, tests/smtp/smtp_server.py, AUTH allowed without TLS), which Wine
# programs reach on 127.0.0.1. The program learns the port from
# QUORVEX_SMTP_PEER_PORT and finds the delivered messages in the folder
# QUORVEX_SMTP_PEER_MAILDIR (a Wine path).
#   with_smtp_peer.sh PREFIX SCRATCH PROGRAM ARGS...
set -u
prefix=$1 scratch=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
if ! "$python" -c 'import aiosmtpd' 2>/dev/null; then
  echo "skipped: aiosmtpd is missing (Debian package python3-aiosmtpd)"
  exit 77
fi
rm -rf "$scratch"
mkdir -p "$scratch/mail"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
  -days 1 -subj /CN=127.0.0.1 >/dev/null 2>&1 || { echo "openssl could not make a certificate"; exit 1; }
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The server stops when its standard input closes: a FIFO held open here.
mkfifo "$scratch/stdin"
"$python" "$here/../smtp/smtp_server.py" "$port" "$scratch/cert.pem" "$scratch/key.pem" \
  "$scratch/mail" alice "s3cret" --plain-auth <"$scratch/stdin" >"$scratch/server.out" 2>&1 &
server=$!
exec 9>"$scratch/stdin"
# Bounded: the server listens within a few seconds or the test fails.
for _ in $(seq 100); do
  grep -q READY "$scratch/server.out" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q READY "$scratch/server.out"; then
  echo "the SMTP server did not start:"; cat "$scratch/server.out"
  exec 9>&-; wait "$server"; exit 1
fi
QUORVEX_SMTP_PEER_PORT=$port QUORVEX_SMTP_PEER_MAILDIR="Z:$(echo "$scratch/mail" | tr / '\\')" \
  "$here/run_under_wine.sh" "$prefix" "$@"
rc=$?
exec 9>&-
wait "$server"
exit $rc
