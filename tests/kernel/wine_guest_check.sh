#!/usr/bin/env bash
# Inside the virtual machine (run-in-vm): a Windows build's tobrisk.exe beside the
# real tiny_hid_dll.dll under Wine, against the uhid remote that hid-wiimote holds.
# Wine's HID bus driver (winebus.sys) offers the remote's hidraw node to Windows
# programs, so the real library's search through setupapi, its look at the
# Bluetooth stack and its reads and writes meet a HID stack we did not write. The
# program must find the remote, sample, end by Home with exit code 0 and leave the
# remote in buttons-only reporting with its first LED lit.
#
#   tests/kernel/run-in-vm --timeout 600 tests/kernel/wine_guest_check.sh \
#       build/plain build/win-x86_64 [PREFIX]
#
# Each Windows build's Wine tests run it as WineInsideTheKernel, under the loader
# its wine-tests.env names (wine64, or the 32-bit wine for build/win-i686). A fresh
# Wine prefix takes a minute or more under emulation: given PREFIX, a prefix the
# host made (the Wine tests' own), the guest starts from it instead; what the guest
# writes stays in its memory. Where there is none, the host could not run the
# build (Debian's kernel here runs 32-bit programs where the host's may not), and
# the guest makes the prefix and runs the HID library's two checks and the
# measuring companion first. What
# Wine 8 (Debian bookworm) needs, as its debug output showed:
# - "Enable SDL" = 0 under HKLM\System\CurrentControlSet\Services\winebus. With the
#   default, winebus starts only its SDL bus (which fails without libSDL2) and not
#   its udev bus, the one that reads hidraw nodes: the program finds no remote.
# - "DisableInput" = 1, so that the udev bus offers hidraw nodes only: hid-wiimote's
#   input devices carry the remote's IDs too.
# - The remote before Wine: no udevd runs in the guest, so winebus finds the node
#   by reading sysfs when it starts and hears of no node made later.
set -uo pipefail
source "$(dirname "$0")/kernel_lib.sh" "$1"
WINDOWS_BUILD=$(cd "$2" && pwd)
# shellcheck source=/dev/null
source "$WINDOWS_BUILD/tests/wine/wine-tests.env"
WORK=$(mktemp -d)
WINE_LOG=$WORK/wine.log
export WINEPREFIX=${3:-$WORK/prefix} WINEARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

stop_wine() {
  timeout 60 "$WINESERVER" -k 2>/dev/null
  timeout 60 "$WINESERVER" -w 2>/dev/null
}
on_exit stop_wine

# Whether Wine's plug and play switched on a HID interface for the remote.
wine_offers_remote() {
  grep -i -F 'IoSetDeviceInterfaceState' "$WINE_LOG" | grep -i -F 'hid#vid_057e&pid_0306#' |
    grep -q 'enable 1'
}

# How the program's start went, once it is clear: sampling, a message box, ended.
start_outcome() {
  if window_shown Error; then
    echo "message box"
  elif process_gone "$PID"; then
    echo ended
  elif requests_at_least 10 && window_shown Tobrisk; then
    echo sampling
  fi
}

# Whether the start's outcome is clear.
start_decided() { [ -n "$(start_outcome)" ]; }

# The text of the program's latest message box, from Wine's msgbox channel.
message_box_text() { grep -o 'MSGBOX_OnInit L"[^"]*"' "$WINE_LOG" | tail -n 1 | cut -d'"' -f2; }

# The HID library's two checks and the measuring companion's short run (tests/wine),
# run here when the host could not run this build's programs and so made no prefix
# (the i686 build on a kernel without IA-32 emulation, whose Wine tests the host
# skips). Each runs from the guest's own memory: Wine reads a large program image
# from the 9p share incompletely (code near the end of .text came as zeros), so the
# files are copied first.
run_library_checks() {
  local program name status
  for program in "$WINDOWS_BUILD/hid_library_check.exe" "$WINDOWS_BUILD/tests/wine/hid_file_check.exe"; do
    name=$(basename "$program")
    step "$name"
    cp "$program" "$WORK/"
    status=0
    (cd "$WORK" && timeout 300 "$WINE" "$name") >"$WORK/check.log" 2>&1 || status=$?
    grep -E "^FAIL|failures" "$WORK/check.log"
    check "$name under Wine ($WINEARCH)" 0 "$status"
    stop_wine
  done
  step "tobrisk-measure.exe"
  "$SOURCE_DIR/tests/wine/measure_wine.sh" "$WINDOWS_BUILD/tests/wine/wine-tests.env"
  check "tobrisk-measure.exe under Wine ($WINEARCH)" 0 "$?"
}

# One start of tobrisk.exe, whose outcome it sets; a start whose probe missed the
# remote ("cannot open") is dismissed and ended, in a Wine of its own.
start_wine_program() {
  step "tobrisk.exe, attempt $START_ATTEMPT"
  WINEDEBUG=+plugplay,+msgbox "$WINE" "$WORK/tobrisk.exe" 2>>"$WINE_LOG" &
  PID=$!
  wait_until 300 "tobrisk.exe to sample or show a box" start_decided
  outcome=$(start_outcome)
  [ "$outcome" = "message box" ] && [ "$(message_box_text)" = "Wii-Remote cannot open." ] ||
    return 0
  press_key "$(find_window Error)" Return
  wait_for_exit 30
  stop_wine
  return 1
}

step "a Wine prefix, winebus set to offer hidraw nodes"
cp "$WINDOWS_BUILD/tobrisk.exe" "$WINDOWS_BUILD/tiny_hid_dll.dll" "$WORK/"
prefix_made_here=no
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  env -u DISPLAY timeout 300 "$WINE" wineboot --init >"$WORK/wineboot.log" 2>&1
  prefix_made_here=yes
fi
start_x || exit 1
[ "$prefix_made_here" = no ] || run_library_checks
printf 'REGEDIT4\n\n[%s]\n"Enable SDL"=dword:00000000\n"DisableInput"=dword:00000001\n' \
  'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\winebus' >"$WORK/winebus.reg"
env -u DISPLAY timeout 300 "$WINE" reg import "$WORK/winebus.reg" >>"$WORK/wineboot.log" 2>&1
check "winebus options imported" 0 "$?"
stop_wine

if start_remote ""; then
  # The start-up probe's 100 ms may pass before the first data report gets through
  # Wine ("cannot open"): such a start is dismissed and tried again, three times at
  # most, each in a Wine of its own.
  retry_start start_wine_program
  check "Wine offers the remote's hidraw node as a HID device" yes "$(wine_offers_remote && echo yes)"
  if [ "$outcome" = sampling ]; then
    check "the program samples" sampling "$outcome"
    press_home
    check_exit "Home" 120 0
    stop_remote
    check "the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
      "$(program_events | tail -n 2 | paste -sd'|')"
  else
    fail "the program samples" "${outcome:-neither sampling nor a box}: '$(message_box_text)'"
  fi
else
  fail "remote" "no hidraw node for the remote: $(describe_remote)"
fi
stop_wine
stop_remote
finish_checks "Wine"
