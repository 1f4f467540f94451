#!/usr/bin/env bash
# Builds the Debian package from a build folder's CPack configuration and checks it.
# Usage: deb_package.sh BUILD_FOLDER OUTPUT_FOLDER VERSION
# Checks: the file list (programs, udev rule, desktop entry, icon, manual pages,
# copyright, changelog) under /usr; the control fields (name, version, section,
# Depends on the libraries it links); the maintainer scripts; and lintian, which
# must report no error.
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

source "$(dirname "$0")/../support/checks.sh"

# The file list: path and mode of each regular file.
listing=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $1, $6 }')
for expected in \
    "-rwxr-xr-x ./usr/bin/tobrisk" \
    "-rwxr-xr-x ./usr/bin/tobrisk-sim" \
    "-rw-r--r-- ./usr/lib/udev/rules.d/70-tobrisk-wiimote.rules" \
    "-rw-r--r-- ./usr/share/applications/tobrisk.desktop" \
    "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/tobrisk.svg" \
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

# Both maintainer scripts reload the udev rules.
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$deb" "$control"
for script in postinst postrm; do
  if [ ! -x "$control/$script" ] || ! grep -q 'udevadm control --reload-rules' "$control/$script"; then
    check "$script reloads udev rules" yes no
  fi
done

# lintian: errors fail; warnings and the rest are shown.
lintian --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1 || true
cat "$out/lintian.txt"
check "lintian errors" "" "$(grep '^E:' "$out/lintian.txt" || true)"

finish_checks package
