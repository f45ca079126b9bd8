#!/bin/sh
# Runs a Windows test program under Wine in the build's own prefix.
#   run_under_wine.sh PREFIX --prepare     make the prefix (once)
#   run_under_wine.sh PREFIX --end         end the prefix's Wine server
#   run_under_wine.sh PREFIX PROGRAM ARGS  run PROGRAM
# Exits 77 (skipped) with the reason where Wine cannot start.
set -u
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The tests' own scratch HOME keeps Wine off the user's folders.
wine=$(command -v wine || command -v wine64 || true)
server=$(command -v wineserver || true)
[ -x /usr/lib/wine/wineserver64 ] && server=/usr/lib/wine/wineserver64
if [ -z "$wine" ]; then
  echo "skipped: Wine is not installed (Debian package wine64)"
  exit 77
fi
case "${1:-}" in
  --prepare)
    mkdir -p "$prefix"
    if [ ! -f "$prefix/system.reg" ]; then
      # Bounded: a prefix is made in well under a minute here. Without 32-bit
      # Wine, wineboot reports the missing syswow64 programs and fails, yet
      # the 64-bit prefix it made is whole.
      timeout 240 "$wine" wineboot -i >"$prefix.log" 2>&1
      "$server" -w 2>/dev/null
      if [ ! -f "$prefix/system.reg" ]; then
        echo "skipped: Wine cannot make a prefix here:"
        tail -5 "$prefix.log"
        exit 77
      fi
    fi
    exit 0
    ;;
  --end)
    [ -n "$server" ] && "$server" -k 2>/dev/null
    exit 0
    ;;
esac
if [ ! -f "$prefix/system.reg" ]; then
  echo "skipped: no Wine prefix (the windows_prefix test could not make one)"
  exit 77
fi
exec "$wine" "$@"
