#!/usr/bin/env bash
# The main job: installs what is missing, builds, and starts the recording screen.
# With a display: the recording screen, interactive. Without one: a scripted session under Xvfb
# (adds annotations, types notes, renames one, deletes one, plays one, views the minutes), then
# prints the paths of the screenshot and of the minutes page.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDALMURE_WITH_QT=ON
cmake --build build -j "$(nproc)" --target orvane-demo
demo=build/apps/orvane-demo/orvane-demo

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--script" ]; then
  exec "$demo"
fi

out="$root/build/demo-output"
mkdir -p "$out"
export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$demo" --script --screenshot "$out/recording-screen.png" --minutes-out "$out/minutes.html"
echo
echo "Screenshot:   $out/recording-screen.png"
echo "Minutes page: $out/minutes.html"
