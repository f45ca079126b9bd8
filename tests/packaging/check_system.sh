#!/usr/bin/env bash
# The built packages on a real system: a fresh Debian 12 root booted with
# systemd in a container that shares this machine's network. Installs quorvex
# (no Qt may come with it), runs the enabled service against a real OpenVPN
# server on loopback, upgrades, removes and purges it, and checks that
# nothing of the package is left. Exits 77 (skipped) where this machine
# cannot make or boot such a root.
# usage: check_system.sh DEB_DIR VERSION CACHE_DIR
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
debs=$1
version=$2
cache=$3
skip() {
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root to make and boot a Debian root"
for tool in debootstrap systemd-nspawn nsenter openvpn openssl; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -c /dev/net/tun ] || skip "no /dev/net/tun for the OpenVPN test server"
# systemd-nspawn needs the cgroup file system (a chroot often lacks it).
mountpoint -q /sys/fs/cgroup || skip "no cgroup file system at /sys/fs/cgroup for systemd-nspawn"

work=$(mktemp -d /tmp/quorvex-system-XXXXXX)
root=$work/root
nspawn_pid=
server_pids=()
cleanup() {
  local pid
  if [ -n "$nspawn_pid" ]; then
    kill -TERM "$nspawn_pid" 2>/dev/null || true  # a clean shut-down of the container
    for _ in $(seq 300); do kill -0 "$nspawn_pid" 2>/dev/null || break; sleep 0.1; done  # 30 s
    kill -KILL "$nspawn_pid" 2>/dev/null || true
  fi
  for pid in "${server_pids[@]}"; do stop_pid "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -n "$nspawn_pid" ] && inside journalctl -u quorvex --no-pager 2>/dev/null | tail -n 30 >&2
  exit 1
}
# shellcheck source=../app/e2e/openvpn_servers.sh
source "$here/../app/e2e/openvpn_servers.sh"

# --- the Debian 12 root, made once per build folder ----------------------------
# What every run needs comes with it, so a run downloads only the packages'
# other dependencies.
include=systemd,systemd-sysv,dbus,adduser,openvpn,libssl3,libexpat1,procps,prometheus-node-exporter
base=$cache/debian12-root-$(md5sum <<<"$include" | cut -c1-8)
if [ ! -f "$base.made" ]; then
  rm -rf "$base"
  mkdir -p "$cache"
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  debootstrap --variant=minbase --include="$include" bookworm "$base" ${mirror:+"$mirror"} >"$cache/debootstrap.log" 2>&1 ||
    skip "debootstrap could not make a Debian 12 root (no archive?): $(tail -n 3 "$cache/debootstrap.log")"
  [ -f /etc/apt/sources.list.d/debian.sources ] &&
    cp /etc/apt/sources.list.d/debian.sources "$base/etc/apt/sources.list.d/"
  rm -f "$base/etc/apt/sources.list"
  # The container's own apt lists, so an install finds the current versions.
  chroot "$base" apt-get update -qq >"$cache/apt-update.log" 2>&1 || true
  touch "$base.made"
fi
cp -a "$base" "$root"
cp "$debs/quorvex_${version}_amd64.deb" "$root/srv/"

# The upgrade: the same package with a higher version, the same contents.
repack=$work/repack
dpkg-deb -R "$debs/quorvex_${version}_amd64.deb" "$repack"
sed -i "s/^Version: .*/Version: ${version}+1/" "$repack/DEBIAN/control"
dpkg-deb -b "$repack" "$root/srv/quorvex_${version}+1_amd64.deb" >/dev/null

# The node exporter the root brings serves the textfile collector only, on a
# loopback port of this run (the container shares this machine's network).
read -r port_exporter <<<"$(free_ports 1 tcp)"
echo "ARGS=\"--web.listen-address=127.0.0.1:$port_exporter --collector.disable-defaults --collector.textfile\"" \
  >"$root/etc/default/prometheus-node-exporter"

# --- boot ----------------------------------------------------------------------
systemd-nspawn -D "$root" -b --register=no --keep-unit --console=pipe \
  >"$work/boot.log" 2>&1 </dev/null &
nspawn_pid=$!
# descends PID ANCESTOR: PID is ANCESTOR or one of its descendants.
descends() {
  local p=$1
  while [ -n "$p" ] && [ "$p" -gt 1 ]; do
    [ "$p" = "$2" ] && return 0
    p=$(awk '/^PPid:/{print $2}' "/proc/$p/status" 2>/dev/null)
  done
  return 1
}
leader=
for _ in $(seq 300); do  # at most 30 s for the container's init
  for p in $(pgrep -x systemd || true); do
    descends "$p" "$nspawn_pid" && leader=$p
  done
  [ -n "$leader" ] && break
  kill -0 "$nspawn_pid" 2>/dev/null || skip "systemd-nspawn could not boot the root: $(tail -n 5 "$work/boot.log")"
  sleep 0.1
done
[ -n "$leader" ] || skip "the container's systemd did not start within 30 s"
inside() { nsenter --target "$leader" --mount --uts --ipc --pid -- "$@"; }
state=
for _ in $(seq 600); do  # at most 60 s for the boot to settle
  state=$(inside systemctl is-system-running 2>/dev/null || true)
  case "$state" in running | degraded) break ;; esac
  sleep 0.1
done
case "$state" in running | degraded) ;; *) fail "the container did not boot: $state" ;; esac

# --- install: no Qt, the user made, the service neither enabled nor started -------
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y "/srv/quorvex_${version}_amd64.deb" \
  >"$work/install.log" 2>&1 || fail "install: $(tail -n 20 "$work/install.log")"
new_packages=$(sed -n '/NEW packages will be installed/,/^[0-9]* upgraded/p' "$work/install.log")
if grep -qiE 'qt|libx11|libxcb|libgl|libegl' <<<"$new_packages"; then
  fail "installing quorvex pulled desktop libraries: $new_packages"
fi
inside getent passwd quorvex >/dev/null || fail "no user quorvex after the install"
[ "$(inside systemctl is-enabled quorvex 2>/dev/null || true)" = disabled ] ||
  fail "the unit is enabled right after the install"
[ "$(inside systemctl is-active quorvex 2>/dev/null || true)" = inactive ] ||
  fail "the service runs before the administrator enabled it"

# --- the README's set-up, a real OpenVPN server on loopback ------------------------
read -r port_up <<<"$(free_ports 1)"
make_pki
start_server up "$port_up" 10.198.21.0 s3cret
mkdir -p "$root/etc/quorvex/client"
cp "$pki/ca.crt" "$root/etc/quorvex/client/ca.crt"
client_config "$port_up" >"$root/etc/quorvex/client/office.conf"
cat >"$root/etc/quorvex/settings.xml" <<XML
<settings>
  <username>alice</username>
  <password>s3cret</password>
  <repeat_period>1</repeat_period>
  <conn_timeout>10</conn_timeout>
</settings>
XML
inside sh -c 'chgrp -R quorvex /etc/quorvex && chmod -R g+rX,o-rwx /etc/quorvex &&
  systemctl enable --now quorvex' >"$work/enable.log" 2>&1 || fail "enable: $(cat "$work/enable.log")"

# journal_has TEXT: waits at most 60 s for TEXT in the service's journal.
journal_has() {
  for _ in $(seq 120); do
    inside journalctl -u quorvex --no-pager -o cat 2>/dev/null | grep -qF "$1" && return 0
    sleep 0.5
  done
  return 1
}
journal_has $'office\tSuccessful' || fail "the service never found the server up"
main_pid() { inside systemctl show -P MainPID quorvex; }
pid=$(main_pid)
[ "$pid" != 0 ] || fail "the service does not run"
user=$(inside ps -o user= -p "$pid" | tr -d ' ')
[ "$user" = quorvex ] || fail "the service runs as $user"
! inside journalctl -u quorvex --no-pager | grep -q "already exists but the mode is different" ||
  fail "systemd warns about the configuration folder's mode"

# --- the README's metrics recipe with Debian's node exporter ----------------------
mkdir -p "$root/etc/systemd/system/quorvex.service.d"
cat >"$root/etc/systemd/system/quorvex.service.d/override.conf" <<'UNIT'
[Service]
ExecStart=
ExecStart=/usr/bin/quorvex --headless --settings /etc/quorvex/settings.xml --state /var/lib/quorvex/state.xml --metrics /var/lib/quorvex/quorvex.prom
UNIT
inside sh -c 'systemctl daemon-reload && systemctl restart quorvex &&
  ln -s /var/lib/quorvex/quorvex.prom /var/lib/prometheus/node-exporter/quorvex.prom' ||
  fail "the metrics drop-in"
scraped=
for _ in $(seq 60); do  # at most 30 s
  scraped=$(/usr/bin/python3 -c 'import sys, urllib.request
print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    "http://127.0.0.1:$port_exporter/metrics" 2>/dev/null || true)
  grep -qx 'quorvex_server_up{server="office"} 1' <<<"$scraped" && break
  sleep 0.5
done
grep -qx 'quorvex_server_up{server="office"} 1' <<<"$scraped" ||
  fail "the node exporter does not show the metrics: $(grep -E 'textfile|quorvex' <<<"$scraped" | head -n 5)"

# --- upgrade while it runs: restarted on the new binary ------------------------------
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y "/srv/quorvex_${version}+1_amd64.deb" \
  >"$work/upgrade.log" 2>&1 || fail "upgrade: $(tail -n 20 "$work/upgrade.log")"
new_pid=$(main_pid)
[ "$new_pid" != 0 ] && [ "$new_pid" != "$pid" ] || fail "the upgrade did not restart the service ($pid, $new_pid)"
inside readlink "/proc/$new_pid/exe" | grep -qx /usr/bin/quorvex ||
  fail "the service runs $(inside readlink "/proc/$new_pid/exe")"

# --- remove: stopped; purge: nothing of the package left ------------------------------
inside env DEBIAN_FRONTEND=noninteractive apt-get remove -y quorvex >"$work/remove.log" 2>&1 ||
  fail "remove: $(tail -n 20 "$work/remove.log")"
[ "$(inside systemctl is-active quorvex 2>/dev/null || true)" != active ] || fail "the service runs after the removal"
! inside pgrep -x quorvex >/dev/null || fail "a quorvex process is left after the removal"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y quorvex >"$work/purge.log" 2>&1 ||
  fail "purge: $(tail -n 20 "$work/purge.log")"
! inside getent passwd quorvex >/dev/null || fail "the user quorvex is left after the purge"
! inside getent group quorvex >/dev/null || fail "the group quorvex is left after the purge"
# --- where systemd-sysusers is missing, adduser makes the user ---------------------
inside dpkg-divert --quiet --local --rename --divert /usr/bin/systemd-sysusers.hidden \
  --add /usr/bin/systemd-sysusers || fail "cannot hide systemd-sysusers"
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y "/srv/quorvex_${version}_amd64.deb" \
  >"$work/install2.log" 2>&1 || fail "install without systemd-sysusers: $(tail -n 20 "$work/install2.log")"
inside getent passwd quorvex >/dev/null || fail "no user quorvex without systemd-sysusers"
inside getent group quorvex >/dev/null || fail "no group quorvex without systemd-sysusers"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y quorvex >"$work/purge2.log" 2>&1 ||
  fail "purge: $(tail -n 20 "$work/purge2.log")"
inside dpkg-divert --quiet --local --rename --remove /usr/bin/systemd-sysusers ||
  fail "cannot put systemd-sysusers back"
! inside getent passwd quorvex >/dev/null || fail "the user quorvex is left after the second purge"

# Only the administrator's own files may stay: the settings, the client
# configurations and the drop-in.
rm -f "$root"/srv/quorvex_*.deb
left=$(cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./tmp -o -path ./run \) -prune -o \
  -name '*quorvex*' -print |
  grep -vxE '\./etc/quorvex(/.*)?|\./etc/systemd/system/quorvex\.service\.d(/override\.conf)?' || true)
[ -z "$left" ] || fail "left after the purge: $left"
dangling=$(inside find /etc/systemd -xtype l)
[ -z "$dangling" ] || fail "dangling links after the purge: $dangling"
echo PASS
