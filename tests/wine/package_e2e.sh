#!/usr/bin/env bash
# A Windows build's zip or installer, used as its README.txt tells a user to: the
# zip unpacked, the installer installed quietly (msiexec /i /qn) into Program Files.
# tobrisk.exe beside the real tiny_hid_dll.dll, with no remote, must say
# "Wii-Remote not found." and end with 1; beside the simulated one, copied over it,
# on the README's own example scenario (Home after three seconds), show its bars
# and end with 0, the release last on the remote. An installer is then replaced by
# a newer one of the same files (one Tobrisk left, the newer, with its files) and
# removed: no folder, Start menu entry or cached installer of either is left, and
# no registry key or value names Tobrisk or their codes.
# Usage: package_e2e.sh WINE_TESTS_ENV PACKAGE (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"
source "$E2E_DIR/e2e_lib.sh"
package=$2
FILES="LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt tiny_hid_dll.dll tobrisk-measure.exe tobrisk.exe"
INSTALLED="$WINE_PREFIX/drive_c/Program Files/Tobrisk"
CACHE=$WINE_PREFIX/drive_c/windows/Installer

# msiexec, quietly: $1 /i or /x, $2 an installer (its Linux path) or a product code.
msiexec_quietly() { "$WINE" msiexec "$1" "$(sed 's|^/|Z:/|; s|/|\\|g' <<<"$2")" /qn; }

# Property $2 of installer $1; its product, upgrade and component codes.
msi_property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
msi_codes() {
  msi_property "$1" ProductCode && msi_property "$1" UpgradeCode
  msiinfo export "$1" Component | tr -d '\r' | tail -n +4 | cut -f2
}

# Code $1 as Windows Installer packs it into key names: its first three groups
# reversed, then each byte with its two digits swapped.
packed_code() {
  local hex=${1//[\{\}-]/}
  echo "$(rev <<<"${hex:0:8}")$(rev <<<"${hex:8:4}")$(rev <<<"${hex:12:4}")$(sed -E 's/(.)(.)/\2\1/g' <<<"${hex:16}")"
}

# The lines of HKLM\Software and HKCU\Software that name Tobrisk or a code of the
# installers $@, as written or packed.
registry_of_ours() {
  local names root file
  names=$(echo Tobrisk && for code in $(for msi in "$@"; do msi_codes "$msi"; done); do
    echo "${code//[\{\}]/}" && packed_code "$code"; done)
  for root in 'HKLM\Software' 'HKCU\Software'; do
    file=$(mktemp --suffix=.reg)
    "$WINE" reg export "$root" "Z:${file//\//\\}" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
  done | grep -iF "$names" | sort
}

# The installed Tobrisks, "CODE VERSION" each, from their uninstall keys.
installed_products() {
  "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
    awk '/^HKEY/ { n = split($0, part, "\\"); key = part[n] }
      $1 == "DisplayName" { name[key] = $3 } $1 == "DisplayVersion" { version[key] = $3 }
      END { for (key in name) if (name[key] == "Tobrisk") print key, version[key] }' | paste -sd' '
}

# The Start menu entries named Tobrisk, and the programs they start.
start_menu() {
  find "$WINE_PREFIX/drive_c" -path '*/Start Menu/Programs/Tobrisk.lnk' -exec strings -a {} \; |
    grep -i '^C:.*\.exe$'
}

# Checks an installation ($1 names it): msiexec's exit code $2; installer $3 of
# version $4 alone installed, whole.
check_installed() {
  check "$1: msiexec's exit code" 0 "$2"
  check "$1: one Tobrisk, this one" "$(msi_property "$3" ProductCode) $4" "$(installed_products)"
  check "$1: its files" "$FILES" "$(cd "$INSTALLED" && LC_ALL=C ls | paste -sd' ')"
  check "$1: the real HID library" yes \
    "$(cmp -s "$INSTALLED/tiny_hid_dll.dll" "$MSI_FILES/tiny_hid_dll.dll" && echo yes)"
  check "$1: the Start menu entry" 'C:\Program Files\Tobrisk\tobrisk.exe' "$(start_menu)"
}

if [ ! -f "$package" ]; then
  fail "the package" "no package at $package (tools/check-windows-compile makes it)"
  finish_checks
  exit
fi
if [[ $package == *.msi ]]; then
  step "msiexec /i $(basename "$package")"
  ours_before=$(registry_of_ours "$package")
  cached_before=$(ls "$CACHE" 2>/dev/null)
  msiexec_quietly /i "$package"
  check_installed installed $? "$package" "$VERSION"
  folder=$INSTALLED
  simulated=$SIM_DLL
else
  work=$(mktemp -d)
  (cd "$work" && cmake -E tar xf "$package")
  folder=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
  simulated=$folder/simulated-remote/tiny_hid_dll.dll
fi
PROGRAM=$folder/tobrisk.exe
E2E_RUNNER=$WINE

step "the real library, no remote"
messages=$(mktemp)
WINEDEBUG=trace+msgbox start_program "" 2>"$messages"
wait_until 20 "the message box" window_shown Error && press_key "$(find_window Error)" Return
check_exit "no remote" 5 1
check "no remote: the box says" 'L"Wii-Remote not found."' \
  "$(sed -n 's/.*:MSGBOX_OnInit //p' "$messages")"

step "the simulated library, the README's scenario"
cp "$simulated" "$folder/tiny_hid_dll.dll"
scenario=$(tr -d '\r' <"$folder/README.txt" | sed -n 's/^ *set TINY_HID_SIM=//p' | head -n 1)
check "the README's example scenario" "home=3000;accel=140,128,100" "$scenario"
# X of 140 a bar right of 250, Z of 100 one left of it.
bars_shown() {
  local shot
  shot=$(mktemp --suffix=.png)
  timeout 10 import -window "$WINDOW" "$shot" 2>/dev/null &&
    [ "$(pixel "$shot" 280 50)|$(pixel "$shot" 180 150)" = "C80000|0000C8" ]
}
# The start-up probe gives the remote 100 ms, which a busy machine may miss under
# Wine: such a start is ended and tried again.
if start_sampling_program "$scenario" 1; then
  check "the bars" yes "$(wait_until 2 "the bars" bars_shown && echo yes)"
  check_exit "Home after three seconds" 30 0
  check "the release last" "$RELEASE" "$(last_events 3)"
else
  fail "the simulated remote" "sampling never started"
fi

if [[ $package == *.msi ]]; then
  step "a newer installer over it"
  next_version=${VERSION%.*}.$((${VERSION##*.} + 1))
  next=$(mktemp --suffix=.msi)
  "$MSI_BUILDER" "$MSI_FILES" "$WINDOWS_ARCH" "$next_version" "$next" 2>/dev/null
  msiexec_quietly /i "$next"
  check_installed upgraded $? "$next" "$next_version"

  step "msiexec /x"
  msiexec_quietly /x "$(msi_property "$next" ProductCode)"
  check "uninstalled: msiexec's exit code" 0 $?
  check "uninstalled: no Tobrisk" "" "$(installed_products)"
  check "uninstalled: no folder" "" "$(ls -d "$INSTALLED" 2>/dev/null)"
  check "uninstalled: no Start menu entry" "" "$(start_menu)"
  check "uninstalled: no cached installer" "$cached_before" "$(ls "$CACHE" 2>/dev/null)"
  check "uninstalled: nothing of ours in the registry" "$ours_before" \
    "$(registry_of_ours "$package" "$next")"
fi
finish_checks "package_e2e $(basename "$package")"
