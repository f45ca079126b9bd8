#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture of the window after a run,
# on Qt's offscreen platform (no display needed).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/release" --target screenshot
QT_QPA_PLATFORM=offscreen "$root/build/release/screenshot" "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
