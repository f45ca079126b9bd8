#!/usr/bin/env bash
# Builds the Debian packages quorvex and quorvex-desktop with Debian's own
# tools (dpkg-buildpackage, debhelper) from a copy of the project's files in
# WORK_DIR, since dpkg-buildpackage writes beside the source tree; the copy's
# build folder is kept, so a second run rebuilds only what changed. The
# packages land in OUT_DIR.
# usage: build-debs.sh WORK_DIR OUT_DIR
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$1
out=$2
src=$work/quorvex

mkdir -p "$src"
find "$src" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
rm -f "$work"/*.deb "$work"/*.ddeb "$work"/*.changes "$work"/*.buildinfo
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # The files of the checkout as they are now, committed or not.
  (cd "$root" && git ls-files -co --exclude-standard -z |
    tar -c --null --ignore-failed-read -T - 2>/dev/null) | tar -x -C "$src"
else
  (cd "$root" && tar -c --exclude=./build .) | tar -x -C "$src"
fi
(cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -b --no-sign --no-pre-clean) >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  echo "dpkg-buildpackage failed; its log: $work/build.log" >&2
  exit 1
}
rm -rf "$out"
mkdir -p "$out"
mv "$work"/*.deb "$out/"
