#!/usr/bin/env bash
# Checks that the README states the project's version, and that every versioned
# name in it (Tobrisk 1.2.3, tobrisk_1.2.3_amd64.deb, tobrisk-1.2.3-windows-...)
# carries that version, not an older one; and that the newest release in the
# changelog and in the AppStream metainfo is that version.
# Usage: readme_version.sh README VERSION CHANGELOG METAINFO
set -uo pipefail
source "$(dirname "$0")/../support/test_lib.sh"
readme=$1 version=$2 changelog=$3 metainfo=$4
check "the README says 'This is Tobrisk $version.'" yes \
  "$(grep -qF "This is Tobrisk $version." "$readme" && echo yes)"
check "the README names no other version" "" \
  "$(grep -oiE 'tobrisk[ _-][0-9]+\.[0-9]+\.[0-9]+' "$readme" | grep -vE "[ _-]$version\$")"
check "CHANGELOG.md's newest release" "$version" \
  "$(grep -m1 -oE '^## \[[0-9]+\.[0-9]+\.[0-9]+\]' "$changelog" | tr -d '#[] ')"
check "the metainfo's newest release" "$version" \
  "$(grep -m1 -oE '<release version="[^"]+"' "$metainfo" | cut -d'"' -f2)"
finish_checks "README, changelog and metainfo"
