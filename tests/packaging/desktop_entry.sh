#!/usr/bin/env bash
# Checks the desktop entry with desktop-file-validate (errors fail it; hints do not)
# and that it starts the installed program by name with the icon the build installs.
# Usage: desktop_entry.sh PACKAGING_FOLDER
set -euo pipefail
folder=$1
entry="$folder/tobrisk.desktop"
failures=0
desktop-file-validate "$entry" || failures=$((failures + 1))
# key, expected value
while read -r key value; do
  got=$(sed -n "s/^$key=//p" "$entry")
  if [ "$got" != "$value" ]; then
    echo "FAIL $key: expected '$value', got '$got'"
    failures=$((failures + 1))
  fi
done <<LIST
Type Application
Exec tobrisk
Icon tobrisk
Terminal false
LIST
grep -q '^Categories=.*HardwareSettings;' "$entry" || { echo "FAIL Categories: no HardwareSettings"; failures=$((failures + 1)); }
[ -f "$folder/tobrisk.svg" ] || { echo "FAIL no icon tobrisk.svg"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "desktop entry: all checks passed"
exit $(( failures > 0 ))
