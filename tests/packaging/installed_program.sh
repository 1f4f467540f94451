#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks that every file landed where
# a desktop and udev expect it, and runs the installed tobrisk-sim (on the display
# with-xvfb gives it) until Home on the simulated remote ends it: exit 0, after
# sampling, with the remote left in button-only reporting with its first LED lit.
# Usage: installed_program.sh BUILD_FOLDER
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
for file in bin/tobrisk bin/tobrisk-sim lib/udev/rules.d/70-tobrisk-wiimote.rules \
    share/applications/tobrisk.desktop share/icons/hicolor/scalable/apps/tobrisk.svg \
    share/man/man1/tobrisk.1.gz share/man/man1/tobrisk-sim.1.gz \
    share/doc/tobrisk/copyright share/doc/tobrisk/changelog.gz; do
  if [ ! -f "$prefix/$file" ]; then
    echo "not installed: $file"
    failures=$((failures + 1))
  fi
done
for program in tobrisk tobrisk-sim; do
  [ -x "$prefix/bin/$program" ] || { echo "not executable: bin/$program"; failures=$((failures + 1)); }
done

# A private lock folder: another run of the program by this user (a build's own
# tests, a CI run beside this one) must not make this one a second instance.
export XDG_RUNTIME_DIR="$prefix/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
log="$prefix/sim.log"
code=0
TINY_HID_SIM="home=1500" TINY_HID_SIM_LOG="$log" timeout 60 "$prefix/bin/tobrisk-sim" || code=$?
if [ "$code" -ne 0 ]; then
  echo "installed tobrisk-sim ended with $code, expected 0"
  failures=$((failures + 1))
fi
# A second instance also ends with 0, so the log must show a whole run: gyro read
# requests while sampling, then the release (buttons only, first LED) and the close.
requests=$(grep -c 'write 17 04 92 00 90 00 02' "$log" || true)
release=$(cut -d' ' -f2- "$log" | tail -n 3 | paste -sd'|')
if [ "$requests" -lt 3 ] || [ "$release" != 'write 12 00 30|write 11 10|close' ]; then
  echo "installed tobrisk-sim did not run to a Home ending: $requests gyro requests, last events '$release'"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "installed program: all checks passed"
exit $(( failures > 0 ))
