# What the end-to-end scripts and the benchmark scripts share: the clean-up at
# exit, the failure report and the children a run left behind, with the
# OpenVPN and SMTP servers of openvpn_servers.sh. Sourced once $work (a
# scratch folder) is set; the caller keeps its servers' pids in server_pids,
# the monitor's in quorvex_pid and its configurations in $catalogue.

# shellcheck source=openvpn_servers.sh
source "$(dirname "${BASH_SOURCE[0]}")/openvpn_servers.sh"

server_pids=()
quorvex_pid=

# Ends the monitor, the mail server and the OpenVPN servers; each bounded.
cleanup() {
  local pid
  [ -n "${quorvex_pid:-}" ] && stop_pid "$quorvex_pid" 10
  stop_smtp
  for pid in "${server_pids[@]}"; do stop_pid "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT

# fail MESSAGE: says why, shows the end of the run's logs and ends the script.
fail() {
  local f
  echo "FAIL: $*" >&2
  for f in "$work"/*.log "$work"/*.out "$work"/*.err; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
  done
  exit 1
}

# children_left: the pids of processes still running in $catalogue, which
# is where every openvpn child of the monitor runs.
children_left() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/cwd" 2>/dev/null)" = "$catalogue" ] && echo "${p#/proc/}"
  done
  return 0
}
