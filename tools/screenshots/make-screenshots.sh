#!/usr/bin/env bash
# Photographs every window in English and German at scale 1 and 2 under a
# private Xvfb into docs/screenshots/ (name-language-scale.png), with the
# dev build's kestrin-screenshots; shrinks the pictures with optipng when it
# is installed. Fails when a window's text does not fit.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tool="${1:-$root/build/dev/bin/kestrin-screenshots}"
out="$root/docs/screenshots"
if [ ! -x "$tool" ]; then
  echo "make-screenshots.sh: build first (cmake --preset dev && cmake --build --preset dev): no $tool" >&2
  exit 2
fi
mkdir -p "$out"
status=0
for lang in en_US de_DE; do
  for scale in 1 2; do
    LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 LANGUAGE= QT_SCALE_FACTOR=$scale \
      "$root/tests/layout/on-display.sh" "$tool" "$out" || status=1
  done
done
if command -v optipng >/dev/null 2>&1; then
  optipng -quiet -o2 "$out"/*.png
fi
exit $status
