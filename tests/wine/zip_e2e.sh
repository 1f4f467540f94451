#!/usr/bin/env bash
# A Windows build's zip, used as its README.txt tells a user to: unpacked, the
# simulated-remote\tiny_hid_dll.dll copied over the tiny_hid_dll.dll beside
# tobrisk.exe, and tobrisk.exe started with the README's own example scenario,
# which presses Home after three seconds. The window must appear, the program end
# with exit code 0, and the simulated remote's log end with the release.
# Usage: zip_e2e.sh WINE_TESTS_ENV ZIP (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"
source "$E2E_DIR/e2e_lib.sh"
zip=$2

if [ ! -f "$zip" ]; then
  fail "the zip" "no zip at $zip (tools/check-windows-compile makes it)"
  finish_checks
  exit
fi
work=$(mktemp -d)
(cd "$work" && cmake -E tar xf "$zip")
folder=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
readme=$folder/README.txt
cp "$folder/simulated-remote/tiny_hid_dll.dll" "$folder/tiny_hid_dll.dll"
scenario=$(tr -d '\r' <"$readme" | sed -n 's/^ *set TINY_HID_SIM=//p' | head -n 1)
check "the README's example scenario" "home=3000;accel=140,128,100" "$scenario"

# The start-up probe gives the remote 100 ms, which a busy machine may miss under
# Wine: such a start ("cannot open") is dismissed and tried again.
PROGRAM=$folder/tobrisk.exe
E2E_RUNNER=$WINE
retry_start start_window_once "$scenario" Error
check "the window appears" yes "$(window_shown Tobrisk && echo yes)"
check_exit "Home after three seconds" 30 0
check "the release last" "$RELEASE" "$(last_events 3)"
finish_checks "zip_e2e $(basename "$zip")"
