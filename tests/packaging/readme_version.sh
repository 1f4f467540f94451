#!/usr/bin/env bash
# Checks that the README states the project's version, and that every versioned
# name in it (Tobrisk 1.2.3, tobrisk_1.2.3_amd64.deb, tobrisk-1.2.3-windows-...)
# carries that version, not an older one.
# Usage: readme_version.sh README VERSION
set -euo pipefail
readme=$1 version=$2
grep -qF "This is Tobrisk $version." "$readme" || { echo "FAIL: README does not say 'This is Tobrisk $version.'"; exit 1; }
stale=$(grep -oiE 'tobrisk[ _-][0-9]+\.[0-9]+\.[0-9]+' "$readme" | grep -vE "[ _-]$version\$" || true)
[ -z "$stale" ] || { echo "FAIL: README names other versions:"; echo "$stale"; exit 1; }
echo "README: version $version"
