#!/usr/bin/env bash
# Exit codes and messages of the headless front end that need no VPN server.
# usage: headless_cli.sh QUORVEX_BINARY
set -euo pipefail

quorvex=$1
work=$(mktemp -d /tmp/quorvex-cli-XXXXXX)
# Outages are remembered under XDG_STATE_HOME between runs: each run of this
# test starts with none, and the home folder is left alone.
export XDG_STATE_HOME=$work/state
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/empty" "$work/broken" "$work/one"
ln -s "$work/nowhere.ovpn" "$work/broken/dangling.ovpn"
printf 'client\nremote 127.0.0.1 9\n' >"$work/one/one.ovpn"
timeout_cmd=$(command -v timeout)
path=$PATH
failures=0

# expect CODE PATTERN CONFIG_DIR ARGS... : exit code and a line of stdout+stderr
expect() {
  local code=$1 pattern=$2 dir=$3 rc=0
  shift 3
  local out
  out=$(PATH=$path QUORVEX_CONFIG_DIR=$dir "$timeout_cmd" 30 "$quorvex" "$@" 2>&1) || rc=$?
  if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAIL: quorvex $* (config $dir): exit $rc, expected $code and /$pattern/; got:" >&2
    echo "$out" >&2
    failures=$((failures + 1))
  fi
}

printf '<settings><conn_timeout>5</conn_timeout></settings>' >"$work/settings.xml"
settings=(--settings "$work/settings.xml")
expect 0 "^Usage: quorvex" "$work/empty" --help
expect 0 "^quorvex [0-9]" "$work/empty" --version
expect 3 "unknown option '--bogus'" "$work/empty" --headless --bogus
expect 3 "unexpected argument 'extra'" "$work/empty" --headless extra
expect 3 "needs a file name" "$work/empty" --headless --settings
expect 3 "need '--headless'" "$work/empty" --once
expect 3 "^QUORVEX UNKNOWN - No client configurations in \"$work/empty\"\. To test configurations elsewhere, start Quorvex with QUORVEX_CONFIG_DIR set to their folder\.$" \
  "$work/empty" --headless --once "${settings[@]}"
expect 3 "^QUORVEX UNKNOWN - No client configurations in \"$work/gone\" \(the folder does not exist\)\." \
  "$work/gone" --headless --once "${settings[@]}"
# A settings file named on the command line that cannot be read: nothing is tested.
expect 3 "^QUORVEX UNKNOWN - Cannot open file \"$work/missing.xml\"\. No such file or directory\." \
  "$work/one" --headless --once --settings "$work/missing.xml"
# A damaged one is reported before any test, with its line and element.
printf '<settings>\n<conn_timeout>5</conn_timeout>\n<repeat_period>x</repeat_period>\n</settings>' \
  >"$work/damaged.xml"
expect 3 "^quorvex: The settings file \"$work/damaged.xml\" is damaged at line 3, element <repeat_period>: ''x'' is not a valid integer value\." \
  "$work/empty" --headless --once --settings "$work/damaged.xml"
# One configuration that cannot be read is a server that fails to start, with the reason.
expect 2 "^QUORVEX CRITICAL - 1 of 1 servers down: dangling \(Cannot open file .*No such file or directory\. To test" \
  "$work/broken" --headless --once "${settings[@]}"
# An openvpn first on the search path that is no program: the child cannot
# start, and the server is down.
mkdir -p "$work/bad-bin"
printf 'not a program\n' >"$work/bad-bin/openvpn"
chmod +x "$work/bad-bin/openvpn"
path=$work/bad-bin
expect 2 "^QUORVEX CRITICAL - 1 of 1 servers down: one \(.+\) \| up=0;;;0;1 down=1;;0;0;1$" \
  "$work/one" --headless --once "${settings[@]}"
expect 2 $'\tone\tFailed to start\t.+$' "$work/one" --headless --once "${settings[@]}"

[ "$failures" = 0 ] || exit 1
echo PASS
