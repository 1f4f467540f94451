#!/usr/bin/env bash
# End to end under Wine: tobrisk.exe beside the simulated tiny_hid_dll.dll runs the
# Linux build's end-to-end scenarios (tests/e2e/program_e2e.sh) through Wine, with
# the same exit codes and the same reports in the simulated remote's log. Usage:
# wine_e2e.sh WINE_TESTS_ENV (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"

folder=$(program_folder "$SIM_DLL")
E2E_RUNNER=$WINE E2E_BOX_TITLE=Error E2E_TEARDOWN_SECONDS=3 \
  "$E2E_DIR/program_e2e.sh" "$folder/tobrisk.exe" "$CLOSE_TOOL"
