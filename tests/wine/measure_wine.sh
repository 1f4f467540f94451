#!/usr/bin/env bash
# tobrisk-measure.exe beside the simulated tiny_hid_dll.dll under Wine: a short run
# with a gyro of known bias and noise, the summary and its verdict, a whole CSV file
# (with Windows line ends) and the release last in the simulated remote's log; and
# its plot, drawn with GDI+, whose pixels are the Linux plot's.
# Usage: measure_wine.sh WINE_TESTS_ENV (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"
source "$E2E_DIR/e2e_lib.sh"

folder=$(mktemp -d)
cp "$MEASURE_EXE" "$folder/tobrisk-measure.exe"
cp "$SIM_DLL" "$folder/tiny_hid_dll.dll"
status=0
(cd "$folder" && TINY_HID_SIM="gyro_bias=-20;gyro_noise=8" TINY_HID_SIM_LOG="$folder/log" \
  timeout 120 "$WINE" tobrisk-measure.exe --seconds 2 --csv m.csv --max-bias 25 --max-noise 12) \
  >"$folder/out" 2>&1 || status=$?
stop_wine
tr -d '\r' <"$folder/out" >"$folder/summary"
check "exit code" 0 "$status"
check "the verdict" PASS "$(tail -n 1 "$folder/summary")"
samples=$(awk '$1 == "requests" { print $2 }' "$folder/summary")
check "the CSV: a line per sample, each whole" "$samples" \
  "$(tr -d '\r' <"$folder/m.csv" | awk -F, 'NR > 1 && NF == 9 && $1 ~ /^[0-9]+$/' | wc -l)"
check "the gyro's mean is the bias" yes \
  "$(awk '$1 == "gyro" { print ($2 > -22 && $2 < -18) ? "yes" : $2 }' "$folder/summary")"
LOG=$folder/log
check "the release last" "$RELEASE" "$(last_events 3)"

(cd "$folder" && TINY_HID_SIM="gyro_bias=100" timeout 120 "$WINE" tobrisk-measure.exe \
  --seconds 0.5 --plot limits.png --max-bias 150 && TINY_HID_SIM="gyro_bias=100;accel=128,64,192" \
  timeout 120 "$WINE" tobrisk-measure.exe --seconds 1 --plot plot.png) >"$folder/out" 2>&1 ||
  status=$?
stop_wine
check "the plots: exit code" 0 "$status"
check_plot_pixels "$folder/plot.png" "$folder/limits.png"
finish_checks "measure_wine ($WINEARCH)"
