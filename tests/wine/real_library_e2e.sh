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
start_program ""
if wait_until 20 "the message box" window_shown Error; then
  press_key "$(find_window Error)" Return
else
  fail "the box" "no message box appeared"
fi
check_exit "not found" 5 1
finish_checks real_library_e2e
