#!/usr/bin/env bash
# The service unit as built passes systemd's own checks, and its hardening
# keeps systemd's exposure figure low.
# usage: check_unit.sh UNIT_FILE QUORVEX_BINARY
set -euo pipefail

unit=$1
quorvex=$(realpath "$2")
work=$(mktemp -d /tmp/quorvex-unit-XXXXXX)
trap 'rm -rf "$work"' EXIT
# verify wants the program of ExecStart to exist: the built one stands in.
sed "s|^ExecStart=[^ ]*|ExecStart=$quorvex|" "$unit" >"$work/quorvex.service"
if ! out=$(systemd-analyze verify --man=no "$work/quorvex.service" 2>&1); then
  echo "FAIL: systemd-analyze verify:" >&2
  echo "$out" >&2
  exit 1
fi
[ -z "$out" ] || { echo "FAIL: systemd-analyze verify warns: $out" >&2; exit 1; }
exposure=$(systemd-analyze security --offline=yes "$work/quorvex.service" 2>/dev/null |
  sed -n 's/.*Overall exposure level for quorvex.service: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] || { echo "FAIL: no exposure figure" >&2; exit 1; }
echo "exposure: $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' ||
  { echo "FAIL: exposure $exposure is above 2.0" >&2; exit 1; }
echo PASS
