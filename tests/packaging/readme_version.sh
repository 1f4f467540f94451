#!/usr/bin/env bash
# Checks that the README states the project's version, and that every versioned
# name in it (Tobrisk 1.2.3, tobrisk_1.2.3_amd64.deb, tobrisk-1.2.3-windows-...)
# carries that version, not an older one; and that the newest release in the
# changelog and in the AppStream metainfo is that version.
# Usage: readme_version.sh README VERSION CHANGELOG METAINFO
set -euo pipefail
readme=$1 version=$2 changelog=$3 metainfo=$4
grep -qF "This is Tobrisk $version." "$readme" || { echo "FAIL: README does not say 'This is Tobrisk $version.'"; exit 1; }
stale=$(grep -oiE 'tobrisk[ _-][0-9]+\.[0-9]+\.[0-9]+' "$readme" | grep -vE "[ _-]$version\$" || true)
[ -z "$stale" ] || { echo "FAIL: README names other versions:"; echo "$stale"; exit 1; }
newest=$(grep -m1 -oE '^## \[[0-9]+\.[0-9]+\.[0-9]+\]' "$changelog" | tr -d '#[] ')
[ "$newest" = "$version" ] || { echo "FAIL: CHANGELOG.md's newest release is '$newest'"; exit 1; }
newest=$(grep -m1 -oE '<release version="[^"]+"' "$metainfo" | cut -d'"' -f2)
[ "$newest" = "$version" ] || { echo "FAIL: the metainfo's newest release is '$newest'"; exit 1; }
echo "README, changelog and metainfo: version $version"
