#!/usr/bin/env bash
# Creates the Wine tests' own prefix afresh (a first start takes seconds, so it is
# made once per test run). Usage: make_prefix.sh WINE_TESTS_ENV
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"

rm -rf "$WINE_PREFIX"
mkdir -p "$(dirname "$WINE_PREFIX")"
env -u DISPLAY "$WINE" wineboot --init >/dev/null 2>&1 || true
stop_wine
[ -f "$WINE_PREFIX/system.reg" ] || { echo "make_prefix: wineboot made no prefix" >&2; exit 1; }
echo "make_prefix: $WINE_PREFIX"
