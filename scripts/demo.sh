#!/usr/bin/env bash
# The main job: installs what is missing, builds, and starts the recording screen.
# With a display: the recording screen, interactive. Without one: a scripted session under Xvfb
# (adds annotations, types notes, renames one, deletes one, plays one, views the minutes), then
# prints the paths of the screenshot and of the minutes page. Then a session killed (SIGKILL)
# while the clerk types notes, and the start-up after it: a second screenshot shows the bar that
# offers to recover the interrupted session.
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

# A crash in the middle of a hearing, in an application folder of its own.
crash="$out/crash-app"
rm -rf "$crash"
rc=0
xvfb-run -a -s "-screen 0 1600x1000x24" "$demo" --script-crash --app-folder "$crash" || rc=$?
if [ "$rc" -ne 137 ]; then
  echo "demo.sh: the crashing session ended with $rc, not by SIGKILL" >&2
  exit 1
fi
xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$demo" --script-recovery --app-folder "$crash" --screenshot "$out/recovery-bar.png"
echo
echo "Screenshot:   $out/recording-screen.png"
echo "Minutes page: $out/minutes.html"
echo "Recovery:     $out/recovery-bar.png"
