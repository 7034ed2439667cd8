#!/usr/bin/env bash
# Runs a window program on a private Xvfb (which picks a free display itself,
# so parallel runs do not collide), else on Qt's offscreen platform, said on
# standard error, so the test also runs where no X server can be had.
set -uo pipefail
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "on-display.sh: no Xvfb here: running on the offscreen platform" >&2
  exec env QT_QPA_PLATFORM=offscreen "$@"
fi
dir="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    echo "on-display.sh: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$dir/display" ]; then
  echo "on-display.sh: Xvfb gave no display within 10 s" >&2
  exit 1
fi
DISPLAY=":$(head -n1 "$dir/display")" QT_QPA_PLATFORM=xcb "$@"
