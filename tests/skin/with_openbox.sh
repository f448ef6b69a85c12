#!/bin/sh
# Runs a test program on the display xvfb-run made, with openbox managing
# its windows when openbox is installed; the tests that need a window
# manager skip without one.
wm=""
if command -v openbox >/dev/null 2>&1; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  export STAMPWISE_WINDOW_MANAGER=openbox
  # openbox names its check window before it takes over the screen's
  # windows: a window mapped in between is never exposed.
  sleep 1
fi
"$@"
rc=$?
if [ -n "$wm" ]; then
  kill "$wm" 2>/dev/null
  wait "$wm" 2>/dev/null
fi
exit $rc
