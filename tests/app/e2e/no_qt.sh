#!/usr/bin/env bash
# The command-line paths of the built program load no Qt, X11 or OpenGL
# library: checked with the dynamic loader's own list of what it loads, and
# by running them with every Qt library made unreadable.
# usage: no_qt.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$(realpath "$1")
timeout_cmd=$(command -v timeout)
work=$(mktemp -d /tmp/quorvex-noqt-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/one"
printf 'client\nremote 127.0.0.1 9\n' >"$work/one/one.ovpn"
# An openvpn that is no program: the cycle runs to its end at once.
mkdir -p "$work/bin"
printf 'not a program\n' >"$work/bin/openvpn"
chmod +x "$work/bin/openvpn"
printf '<settings>\n  <smtp_host>127.0.0.1</smtp_host>\n  <smtp_port>9</smtp_port>\n</settings>\n' \
  >"$work/settings.xml"
failures=0
desktop_libs='libQt|libX11|libxcb|libGL|libEGL|libOpenGL|libwayland'

paths=(
  "--help"
  "--version"
  "--headless --once --settings $work/settings.xml --state $work/state.xml"
)
if "$quorvex" --help | grep -q -- '--test-mail'; then
  paths+=("--test-mail --settings $work/settings.xml")
fi

for args in "${paths[@]}"; do
  # shellcheck disable=SC2086  # the arguments are split on purpose
  PATH=$work/bin QUORVEX_CONFIG_DIR=$work/one LD_DEBUG=libs LD_DEBUG_OUTPUT=$work/ld \
    "$timeout_cmd" 60 "$quorvex" $args >"$work/out" 2>&1 || true
  loaded=$(cat "$work"/ld.* | grep -oE 'calling init: [^ ]+' | sed 's/calling init: //' | sort -u)
  rm -f "$work"/ld.*
  if [ -z "$loaded" ]; then
    echo "FAIL: quorvex $args: the loader reported nothing" >&2
    failures=$((failures + 1))
  elif grep -E "$desktop_libs" <<<"$loaded" >&2; then
    echo "FAIL: quorvex $args loads the libraries above" >&2
    failures=$((failures + 1))
  fi
done

# The check itself sees Qt where it is: the window program (which stops at
# once here, finding no display) loads it.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LD_DEBUG=libs LD_DEBUG_OUTPUT=$work/ld \
  "$timeout_cmd" 60 "$quorvex" >/dev/null 2>&1 || true
grep -q 'calling init: .*libQt6Widgets' "$work"/ld.* ||
  { echo "FAIL: the loader's list does not show the window's Qt" >&2; failures=$((failures + 1)); }
rm -f "$work"/ld.*

# The same with the Qt libraries unreadable, in a mount namespace of its own
# (needs root and unshare; skipped elsewhere).
if [ "$(id -u)" = 0 ] && [ -x /usr/bin/mount ] && unshare --mount true 2>/dev/null; then
  hide=$work/hide.sh
  cat >"$hide" <<'SH'
set -e
for lib in /usr/lib/*/libQt6*.so* /usr/lib/*/libX11.so* /usr/lib/*/libGL*.so* \
  /usr/lib/*/libOpenGL.so*; do
  [ -f "$lib" ] && /usr/bin/mount --bind /dev/null "$lib"
done
exec "$@"
SH
  unshare_cmd=$(command -v unshare)
  bash_cmd=$(command -v bash)
  run_hidden() { "$unshare_cmd" --mount --propagation private "$bash_cmd" "$hide" "$@"; }
  out=$(run_hidden "$quorvex" --version 2>&1) || true
  grep -q '^quorvex [0-9]' <<<"$out" || {
    echo "FAIL: --version with Qt hidden: $out" >&2
    failures=$((failures + 1))
  }
  rc=0
  out=$(PATH=$work/bin QUORVEX_CONFIG_DIR=$work/one run_hidden "$timeout_cmd" 60 "$quorvex" --headless \
    --once --settings "$work/settings.xml" --state "$work/state.xml" 2>&1) || rc=$?
  if [ "$rc" != 2 ] || ! grep -q '^QUORVEX CRITICAL - 1 of 1 servers down: one' <<<"$out"; then
    echo "FAIL: --headless --once with Qt hidden: exit $rc: $out" >&2
    failures=$((failures + 1))
  fi
  # Proof that hiding works: the window program cannot start then.
  rc=0
  out=$(QT_QPA_PLATFORM=offscreen run_hidden "$timeout_cmd" 20 "$quorvex" 2>&1) || rc=$?
  if [ "$rc" = 0 ]; then
    echo "FAIL: the window started with Qt hidden: $out" >&2
    failures=$((failures + 1))
  fi
else
  skipped="the run with Qt hidden needs root and unshare --mount"
fi

[ "$failures" = 0 ] || exit 1
# The rest passed; ctest counts the run as skipped and shows why.
if [ -n "${skipped:-}" ]; then
  echo "SKIP: $skipped"
  exit 77
fi
echo PASS
