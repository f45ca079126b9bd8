#!/usr/bin/env bash
# The monitor library sees only the layers below it: a source of its own that
# calls up into a front end (the headless runner, the window) does not compile,
# while one that uses the layers below does.
# usage: layer_check.sh CXX MONITOR_INCLUDE_ROOT
set -euo pipefail
cxx=$1 root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

compile() { "$cxx" -std=c++20 -fsyntax-only -I "$root" "$1" 2>"$work/err"; }

cat >"$work/below.cpp" <<'CPP'
#include "alerts/alert_policy.h"
#include "monitor/engine.h"
int main() { return quorvex::maxJobsByOpenFiles() > 0 ? 0 : 1; }
CPP
compile "$work/below.cpp" || { cat "$work/err"; echo "FAIL: a monitor source using lower layers does not compile"; exit 1; }

for header in app/headless.h app/window/main_window.h; do
  printf '#include "%s"\nint main() { return 0; }\n' "$header" >"$work/up.cpp"
  if compile "$work/up.cpp"; then
    echo "FAIL: a monitor source including $header compiled"
    exit 1
  fi
  grep -q "$header" "$work/err" || { cat "$work/err"; echo "FAIL: not refused for $header"; exit 1; }
done
echo "ok"
