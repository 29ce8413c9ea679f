#!/bin/sh
# Runs a command as a screen reader's desktop runs applications: on an X server (Xvfb) with a
# session bus, the accessibility bus on it and Qt's AT-SPI bridge on.
set -eu
if [ -z "${DALMURE_A11Y_SESSION:-}" ]; then
  export DALMURE_A11Y_SESSION=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- "$0" "$@"
fi
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || launcher=/usr/lib/at-spi2-core/at-spi-bus-launcher
"$launcher" --launch-immediately >/dev/null 2>&1 &
trap "kill $! 2>/dev/null || true" EXIT # the bus launcher
timeout 5 sh -c 'until dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress >/dev/null 2>&1; do sleep 0.1; done' ||
  { echo "no accessibility bus" >&2; exit 1; }
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$@"
