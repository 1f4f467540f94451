#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks that every file landed where
# a desktop and udev expect it and that the desktop entry starts a program and
# shows an icon that were installed, and runs the installed tobrisk-sim (on the
# display with-xvfb gives it) until Home on the simulated remote ends it: exit 0,
# after sampling, with the remote left in button-only reporting with its first
# LED lit. Usage: installed_program.sh BUILD_FOLDER
set -uo pipefail
build=$1
source "$(dirname "$0")/../e2e/e2e_lib.sh"
prefix=$(mktemp -d)

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }

for file in bin/tobrisk bin/tobrisk-sim lib/udev/rules.d/70-tobrisk-wiimote.rules \
    share/applications/tobrisk.desktop share/icons/hicolor/scalable/apps/tobrisk.svg \
    share/man/man1/tobrisk.1.gz share/man/man1/tobrisk-sim.1.gz \
    share/doc/tobrisk/copyright share/doc/tobrisk/changelog.gz; do
  [ -f "$prefix/$file" ] || fail "installed" "no $file"
done
for program in tobrisk tobrisk-sim; do
  [ -x "$prefix/bin/$program" ] || fail "installed" "bin/$program is not executable"
done

# The menu entry is valid, starts a program that was installed, and shows an icon
# that was installed.
entry=$prefix/share/applications/tobrisk.desktop
desktop-file-validate "$entry" || fail "desktop entry" "desktop-file-validate reports errors"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
check "desktop entry: Exec is an installed program" yes "$([ -x "$prefix/bin/$exec_program" ] && echo yes)"
icon=$(sed -n 's/^Icon=//p' "$entry")
check "desktop entry: Icon is an installed icon" yes \
  "$([ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] && echo yes)"
check "desktop entry: under Hardware Settings" yes "$(grep -q '^Categories=.*HardwareSettings;' "$entry" && echo yes)"

# A private lock folder: another run of the program by this user (a build's own
# tests, a CI run beside this one) must not make this one a second instance.
export XDG_RUNTIME_DIR="$prefix/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
PROGRAM=$prefix/bin/tobrisk-sim
# The start-up probe gives the remote 100 ms; on a machine busy with other work it
# can miss it and show "Wii-Remote cannot open.": then the box is dismissed and
# the run tried again.
retry_start start_window_once "home=1500" tobrisk-sim
check_exit "installed tobrisk-sim, Home at 1.5 s" 10 0
# A second instance also ends with 0, so the log must show a whole run: gyro read
# requests while sampling, then the release (buttons only, first LED) and the close.
check "installed tobrisk-sim: it sampled" yes \
  "$([ "$(requests_sent)" -ge 3 ] && echo yes)"
check "installed tobrisk-sim: last reports" "$RELEASE" "$(last_events 3)"

finish_checks "installed program"
