#!/usr/bin/env bash
# Runs a command of the i686 build's Wine tests if this machine runs 32-bit
# programs; when the tiny 32-bit program (exit_32bit.s) cannot run, says why and
# exits 77, which ctest counts as a skip.
# Usage: if_32bit_runs.sh TINY_32BIT_PROGRAM COMMAND [ARGUMENT...]
set -uo pipefail
tiny=$1
shift
why=$("$tiny" 2>&1)
status=$?
if [ "$status" -ne 0 ]; then
  echo "SKIPPED: this machine does not run 32-bit programs, which the i686 build's"
  echo "Wine tests need (the kernel's IA-32 emulation): ${why:-$tiny: exit code $status}"
  exit 77
fi
exec "$@"
