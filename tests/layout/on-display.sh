#!/usr/bin/env bash
# Runs a window test on a real X server: a private Xvfb when there is one,
# else Qt's offscreen platform (said on standard error), so the test also runs
# where no X server can be had.
set -euo pipefail
if command -v xvfb-run >/dev/null 2>&1 && command -v Xvfb >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 2560x1600x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb "$@"
fi
echo "on-display.sh: no Xvfb here: running on the offscreen platform" >&2
exec env QT_QPA_PLATFORM=offscreen "$@"
