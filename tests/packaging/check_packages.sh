#!/usr/bin/env bash
# Builds the Debian packages from the build folder and checks their file
# lists and dependencies; then runs the command line from the unpacked server
# package, which must work without the desktop package.
# usage: check_packages.sh BUILD_DIR INSTALL_PREFIX VERSION
set -euo pipefail

build=$1
prefix=$2
version=$3
work=$(mktemp -d /tmp/quorvex-debs-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
}
server=$(ls "$work"/out/quorvex_*.deb)
desktop=$(ls "$work"/out/quorvex-desktop_*.deb)
rel=${prefix#/}

# files PACKAGE: its regular files, one path a line, without the leading "./"
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort; }
has_file() {
  grep -qxF "$2" <<<"$(files "$1")" || fail "$(basename "$1") lacks $2"
}
lacks_file() {
  ! grep -qxF "$2" <<<"$(files "$1")" || fail "$(basename "$1") holds $2"
}

for path in "$rel/bin/quorvex" "$rel/lib/systemd/system/quorvex.service" \
  "$rel/lib/sysusers.d/quorvex.conf" "$rel/share/man/man1/quorvex.1.gz" \
  "$rel/share/quorvex/quorvex.pdf"; do
  has_file "$server" "$path"
done
lacks_file "$server" "$rel/bin/quorvex-window"
for path in "$rel/bin/quorvex-window" "$rel/share/applications/quorvex.desktop" \
  "$rel/share/icons/hicolor/scalable/apps/quorvex.svg"; do
  has_file "$desktop" "$path"
done
lacks_file "$desktop" "$rel/bin/quorvex"

[ "$(dpkg-deb -f "$server" Package)" = quorvex ] || fail "server package name"
[ "$(dpkg-deb -f "$desktop" Package)" = quorvex-desktop ] || fail "desktop package name"
# depends_on "DEPENDS" PACKAGE: the field names PACKAGE (any version)
depends_on() { tr ',' '\n' <<<"$1" | awk '{print $1}' | grep -qxF "$2"; }
server_depends=$(dpkg-deb -f "$server" Depends)
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
# Computed from the binaries: the C++ run time and expat for the program.
for dep in libc6 libstdc++6 libexpat1 openvpn libssl3; do
  depends_on "$server_depends" "$dep" || fail "quorvex does not depend on $dep: $server_depends"
done
if grep -qiE 'qt|libx11|libxcb|libgl|libegl|libopengl' <<<"$server_depends"; then
  fail "quorvex depends on desktop libraries: $server_depends"
fi
grep -qE "(^|, )quorvex \(= $version\)" <<<"$desktop_depends" ||
  fail "quorvex-desktop does not need quorvex $version: $desktop_depends"
depends_on "$desktop_depends" libqt6widgets6 ||
  fail "quorvex-desktop does not depend on Qt Widgets: $desktop_depends"
dpkg-deb -I "$server" postinst >/dev/null 2>&1 || fail "quorvex has no postinst"

# The unit starts the program the package installs.
dpkg-deb -x "$server" "$work/root"
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$work/root/$rel/lib/systemd/system/quorvex.service")
[ "$exec_start" = "$prefix/bin/quorvex" ] || fail "ExecStart runs $exec_start"

# The man page describes the options of --help.
man_text=$(zcat "$work/root/$rel/share/man/man1/quorvex.1.gz" | sed 's/\\-/-/g')
for option in headless once test-mail metrics state settings; do
  if "$work/root/$rel/bin/quorvex" --help | grep -q -- "--$option"; then
    grep -q -- "--$option" <<<"$man_text" || fail "the man page lacks --$option"
  fi
done

# The unpacked server package alone: no window beside it.
out=$("$work/root/$rel/bin/quorvex" --version 2>&1) || fail "--version from the package: $out"
grep -q "^quorvex $version$" <<<"$out" || fail "--version printed: $out"
rc=0
out=$(env -u QT_QPA_PLATFORM DISPLAY=:99 "$work/root/$rel/bin/quorvex" 2>&1) || rc=$?
[ "$rc" = 3 ] && grep -q "quorvex-desktop" <<<"$out" ||
  fail "without the window program: exit $rc, $out"

[ "$failures" = 0 ] || exit 1
echo PASS
