#!/usr/bin/env bash
# Builds the Debian package from a build folder's CPack configuration and checks it.
# Usage: deb_package.sh BUILD_FOLDER OUTPUT_FOLDER VERSION
# Checks: the file list (programs, udev rule, desktop entry, icon, AppStream
# metainfo, manual pages, copyright, changelog) under /usr; the control fields
# (name, version, section, Depends on the libraries it links); the MIT licence in
# the copyright file; that neither the maintainer nor any shipped file names the
# machine that built it; the metainfo, which appstreamcli must validate; the
# maintainer scripts; and lintian, which must report no error.
set -euo pipefail
build=$1 out=$2 version=$3
rm -rf "$out"
mkdir -p "$out"
cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; exit 1; }
debs=("$out"/tobrisk_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "expected one tobrisk_*.deb in $out"; ls "$out"; exit 1
fi
deb=${debs[0]}
echo "package: $deb"

source "$(dirname "$0")/../support/test_lib.sh"

# The file list: path and mode of each regular file.
listing=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $1, $6 }')
for expected in \
    "-rwxr-xr-x ./usr/bin/tobrisk" \
    "-rwxr-xr-x ./usr/bin/tobrisk-sim" \
    "-rwxr-xr-x ./usr/bin/tobrisk-measure" \
    "-rwxr-xr-x ./usr/bin/tobrisk-measure-sim" \
    "-rw-r--r-- ./usr/share/man/man1/tobrisk-measure.1.gz" \
    "-rw-r--r-- ./usr/lib/udev/rules.d/70-tobrisk-wiimote.rules" \
    "-rw-r--r-- ./usr/share/applications/tobrisk.desktop" \
    "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/tobrisk.svg" \
    "-rw-r--r-- ./usr/share/metainfo/org.tobrisk.Tobrisk.metainfo.xml" \
    "-rw-r--r-- ./usr/share/man/man1/tobrisk.1.gz" \
    "-rw-r--r-- ./usr/share/doc/tobrisk/copyright" \
    "-rw-r--r-- ./usr/share/doc/tobrisk/changelog.gz"; do
  grep -qxF -- "$expected" <<<"$listing" || check "file list" "$expected" "(missing)"
done
check "nothing outside /usr" "" "$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '^\./$' | grep -v '^\./usr/' || true)"

check "Package" tobrisk "$(dpkg-deb -f "$deb" Package)"
check "Version" "$version" "$(dpkg-deb -f "$deb" Version)"
check "Section" utils "$(dpkg-deb -f "$deb" Section)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libcairo2 libx11-6 libhidapi-hidraw0 libc6; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || check "Depends has $library" "$library" "$depends"
done

# The shipped files, unpacked: the licence, the metainfo, and no name of this machine.
control=$(mktemp -d)
dpkg-deb -x "$deb" "$control/files"
copyright=$control/files/usr/share/doc/tobrisk/copyright
check "copyright: SPDX identifier" yes "$(grep -qx 'Comment: SPDX-License-Identifier: MIT' "$copyright" && echo yes)"
check "copyright: the MIT licence" yes \
  "$(grep -qx 'License: MIT' "$copyright" && grep -q 'Permission is hereby granted, free of charge' "$copyright" && echo yes)"
check "the metainfo validates" yes \
  "$(appstreamcli validate --no-net "$control/files/usr/share/metainfo/org.tobrisk.Tobrisk.metainfo.xml" \
      >"$out/appstream.txt" 2>&1 && echo yes || cat "$out/appstream.txt")"
# This machine's names: a name shorter than four letters would be found by chance.
for host in "$(hostname)" "$(hostname -f 2>/dev/null || true)"; do
  if [ "${#host}" -ge 4 ]; then
    check "the maintainer does not name $host" "" "$(dpkg-deb -f "$deb" Maintainer | grep -iF "$host" || true)"
    check "no shipped file names $host" "" "$(grep -rlaiF -- "$host" "$control/files" || true)"
  else
    echo "host name '$host' too short to look for"
  fi
done

# Both maintainer scripts reload the udev rules.
dpkg-deb -e "$deb" "$control/DEBIAN"
for script in postinst postrm; do
  if [ ! -x "$control/DEBIAN/$script" ] || ! grep -q 'udevadm control --reload-rules' "$control/DEBIAN/$script"; then
    check "$script reloads udev rules" yes no
  fi
done

# lintian: errors fail; warnings and the rest are shown.
lintian --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1 || true
cat "$out/lintian.txt"
check "lintian errors" "" "$(grep '^E:' "$out/lintian.txt" || true)"

finish_checks package
