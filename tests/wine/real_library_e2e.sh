#!/usr/bin/env bash
# tobrisk.exe beside the real tiny_hid_dll.dll under Wine, where no Wii Remote of
# either model exists: the library searches the HID devices through setupapi, finds
# none, and the program shows its "not found" box and ends with 1 once it is
# dismissed. Usage: real_library_e2e.sh WINE_TESTS_ENV (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"
source "$E2E_DIR/e2e_lib.sh"

folder=$(program_folder "$REAL_DLL")
PROGRAM=$folder/tobrisk.exe
E2E_RUNNER=$WINE
status=0
start_program ""
if wait_for '[ -n "$(find_window Error)" ]' 20; then
  xdotool key --window "$(find_window Error)" Return 2>/dev/null
else
  echo "FAIL no message box appeared"
  status=1
fi
if ! wait_for_exit 5; then
  echo "FAIL the program did not end after its message box"
  status=1
elif [ "$CODE" != 1 ]; then
  echo "FAIL exit code: expected 1, got $CODE"
  status=1
fi
stop_wine
rm -rf "$folder" "$LOG"
[ "$status" -eq 0 ] && echo "real_library_e2e: not found, exit code 1"
exit "$status"
