#!/usr/bin/env bash
# The fault matrix under Wine: tobrisk.exe beside the simulated tiny_hid_dll.dll
# runs the rows of fault_matrix.sh through Wine. By default the short set below,
# which has every fault and every ending at least once (each row costs Wine about
# two seconds more than Linux); with --all every row, as docs/reliability.md
# records them. Usage: wine_fault_matrix.sh WINE_TESTS_ENV [--all] [REPORT]
# (run under with-xvfb; each Windows build writes WINE_TESTS_ENV, see
# tests/wine).
set -uo pipefail
source "$(dirname "$0")/../wine/wine_lib.sh" "$1"
shift

SHORT_SET='^(healthy remote, (Home|Esc while sampling|close while sampling)'
SHORT_SET+='|Esc in the start delay|Esc then close|Home during the probe'
SHORT_SET+='|silent remote, box closed|silent remote unplugged under the box'
SHORT_SET+='|absent remote, Esc on the box|first report 0x30, box'
SHORT_SET+='|mute while sampling, Home|mute in the start delay, Esc'
SHORT_SET+='|unplug during the probe, close|unplug while sampling, Esc|error replies, Esc'
SHORT_SET+='|slow replies, close mid-sample|replies later than the wait, Home'
SHORT_SET+='|Home with a byte-1 button ends|Home beside the low bits of Y and Z)$'
rows=$SHORT_SET
if [ "${1:-}" = --all ]; then
  rows=
  shift
fi

folder=$(program_folder "$SIM_DLL")
FAULT_ROWS=$rows E2E_RUNNER=$WINE E2E_BOX_TITLE=Error E2E_TEARDOWN_SECONDS=3 \
  "$(dirname "$0")/fault_matrix.sh" "$folder/tobrisk.exe" "$CLOSE_TOOL" "${1:-}"
