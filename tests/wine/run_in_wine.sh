#!/usr/bin/env bash
# Runs one Windows program in the Wine tests' prefix and exits with its exit code.
# Usage: run_in_wine.sh WINE_TESTS_ENV PROGRAM.exe (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"

status=0
"$WINE" "$2" || status=$?
# 77 would read as a skip: that many failures is still a failure.
[ "$status" -eq 77 ] && status=1
exit "$status"
