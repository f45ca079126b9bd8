#!/usr/bin/env bash
# Makes the README's pictures: docs/screenshot.png, the window after a run, on
# Qt's offscreen platform (no display needed); docs/status-page.png and
# docs/status-page-phone.png, the status page in headless Chromium.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/release
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target screenshot test_history
QT_QPA_PLATFORM=offscreen "$build/screenshot" "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
# The browser test leaves its screenshots in the build folder.
"$build/test_history" --gtest_filter=StatusPage.ReadsRightInAHeadlessBrowser
cp "$build/status-page.png" "$build/status-page-phone.png" "$root/docs/"
echo "wrote docs/status-page.png and docs/status-page-phone.png"
