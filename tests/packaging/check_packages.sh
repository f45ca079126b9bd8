#!/usr/bin/env bash
# Builds the Debian packages as scripts/dev package does and checks them:
# lintian, their file lists, dependencies and maintainer scripts; then runs
# the command line from the unpacked server package, which must work without
# the desktop package. The packages stay in OUT_DIR for the system test.
# usage: check_packages.sh WORK_DIR OUT_DIR VERSION
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work_dir=$1
out=$2
version=$3
work=$(mktemp -d /tmp/quorvex-debs-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

"$here/../../scripts/build-debs.sh" "$work_dir" "$out" || { echo "FAIL: build-debs.sh" >&2; exit 1; }
server=$out/quorvex_${version}_amd64.deb
desktop=$out/quorvex-desktop_${version}_amd64.deb
[ -f "$server" ] && [ -f "$desktop" ] || { echo "FAIL: no packages in $out: $(ls "$out")" >&2; exit 1; }
[ "$(ls "$out"/*.deb | wc -l)" = 2 ] || fail "more than the two packages: $(ls "$out")"

# No error or warning, and no hardening flag missing (an info tag).
tags=$(lintian --pedantic --info --no-tag-display-limit "$server" "$desktop" 2>&1 |
  grep -v '^N:' || true)
problems=$(grep -E '^(E|W): |hardening' <<<"$tags" || true)
[ -z "$problems" ] || fail "lintian: $problems"
[ -z "$tags" ] || echo "lintian's other tags: $tags"

# files PACKAGE: its regular files, one path a line, without the leading "./"
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort; }
has_file() {
  grep -qxF "$2" <<<"$(files "$1")" || fail "$(basename "$1") lacks $2"
}
lacks_file() {
  ! grep -qxF "$2" <<<"$(files "$1")" || fail "$(basename "$1") holds $2"
}

for path in usr/bin/quorvex lib/systemd/system/quorvex.service usr/lib/sysusers.d/quorvex.conf \
  usr/share/man/man1/quorvex.1.gz usr/share/quorvex/quorvex.pdf \
  usr/share/doc/quorvex/copyright usr/share/doc/quorvex/changelog.gz; do
  has_file "$server" "$path"
done
lacks_file "$server" usr/bin/quorvex-window
for path in usr/bin/quorvex-window usr/share/applications/quorvex.desktop \
  usr/share/icons/hicolor/scalable/apps/quorvex.svg usr/share/man/man1/quorvex-window.1.gz \
  usr/share/doc/quorvex-desktop/copyright usr/share/doc/quorvex-desktop/changelog.gz; do
  has_file "$desktop" "$path"
done
lacks_file "$desktop" usr/bin/quorvex

[ "$(dpkg-deb -f "$server" Package)" = quorvex ] || fail "server package name"
[ "$(dpkg-deb -f "$desktop" Package)" = quorvex-desktop ] || fail "desktop package name"
# depends_on "DEPENDS" PACKAGE: the field names PACKAGE (any version)
depends_on() { tr ',' '\n' <<<"$1" | awk '{print $1}' | grep -qxF "$2"; }
server_depends=$(dpkg-deb -f "$server" Depends)
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
for dep in libc6 libstdc++6 libexpat1 openvpn libssl3 adduser; do
  depends_on "$server_depends" "$dep" || fail "quorvex does not depend on $dep: $server_depends"
done
if grep -qiE 'qt|libx11|libxcb|libgl|libegl|libopengl' <<<"$server_depends"; then
  fail "quorvex depends on desktop libraries: $server_depends"
fi
grep -qE "(^|, )quorvex \(= $version\)" <<<"$desktop_depends" ||
  fail "quorvex-desktop does not need quorvex $version: $desktop_depends"
depends_on "$desktop_depends" libqt6widgets6 ||
  fail "quorvex-desktop does not depend on Qt Widgets: $desktop_depends"

# The maintainer scripts: the user made, the unit stopped on removal and
# forgotten on purge (the system test runs them).
dpkg-deb -e "$server" "$work/control"
grep -q "systemd-sysusers quorvex.conf" "$work/control/postinst" || fail "postinst runs no sysusers"
grep -q "adduser .*--system" "$work/control/postinst" || fail "postinst has no adduser fallback"
grep -q "deb-systemd-invoke stop.*quorvex.service" "$work/control/prerm" 2>/dev/null ||
  fail "prerm does not stop the service"
grep -q "deb-systemd-helper purge.*quorvex.service" "$work/control/postrm" ||
  fail "postrm does not forget the unit on purge"

# The unit starts the program the package installs; its configuration folder
# has the README's mode.
dpkg-deb -x "$server" "$work/root"
unit=$work/root/lib/systemd/system/quorvex.service
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[ "$exec_start" = /usr/bin/quorvex ] || fail "ExecStart runs $exec_start"
grep -qx "ConfigurationDirectoryMode=0750" "$unit" || fail "ConfigurationDirectoryMode is not 0750"

# The man pages have a synopsis, and quorvex's describes the options of --help.
dpkg-deb -x "$desktop" "$work/desktop"
for page in "$work/root/usr/share/man/man1/quorvex.1.gz" \
  "$work/desktop/usr/share/man/man1/quorvex-window.1.gz"; do
  zcat "$page" | grep -q '^\.SH SYNOPSIS' || fail "$(basename "$page") has no SYNOPSIS"
done
man_text=$(zcat "$work/root/usr/share/man/man1/quorvex.1.gz" | sed 's/\\-/-/g')
for option in headless once test-mail metrics state settings jobs; do
  if "$work/root/usr/bin/quorvex" --help | grep -q -- "--$option"; then
    grep -q -- "--$option" <<<"$man_text" || fail "the man page lacks --$option"
  fi
done

# The unpacked server package alone: no window beside it.
out_text=$("$work/root/usr/bin/quorvex" --version 2>&1) || fail "--version from the package: $out_text"
grep -q "^quorvex $version$" <<<"$out_text" || fail "--version printed: $out_text"
rc=0
out_text=$(env -u QT_QPA_PLATFORM DISPLAY=:99 "$work/root/usr/bin/quorvex" 2>&1) || rc=$?
[ "$rc" = 3 ] && grep -q "quorvex-desktop" <<<"$out_text" ||
  fail "without the window program: exit $rc, $out_text"

[ "$failures" = 0 ] || exit 1
echo PASS
