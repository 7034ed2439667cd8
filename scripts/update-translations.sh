#!/usr/bin/env bash
# Refreshes translations/kestrin_de.ts from the sources (new texts come in as
# unfinished; the translation test fails until they are translated). Besides
# the windows it reads the texts of the device layer that the fuse and lock
# bits dialog shows (marked with QT_TRANSLATE_NOOP).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
list="$(mktemp)"
trap 'rm -f "$list"' EXIT
ls src/ui/*.cpp src/ui/*.h src/app/*.cpp src/app/*.h src/devices/AvrFuses.cpp src/devices/FuseBits.cpp > "$list"
# lupdate loses the namespace of the main window's class; tr() looks it up
# with it: the file holds it with, lupdate sees it without.
sed -i 's|<name>kestrin::TFormMain</name>|<name>TFormMain</name>|' translations/kestrin_de.ts
/usr/lib/qt6/bin/lupdate -I src -no-obsolete -locations none -source-language en -target-language de \
  @"$list" -ts translations/kestrin_de.ts
sed -i 's|<name>TFormMain</name>|<name>kestrin::TFormMain</name>|' translations/kestrin_de.ts
