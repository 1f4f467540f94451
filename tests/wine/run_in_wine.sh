#!/usr/bin/env bash
# Runs one Windows program in the Wine tests' prefix and exits with its exit code.
# Usage: run_in_wine.sh WINE_TESTS_ENV PROGRAM.exe (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"

status=0
"$WINE64" "$2" || status=$?
stop_wine
exit "$status"
