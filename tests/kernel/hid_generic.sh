#!/usr/bin/env bash
# Inside the virtual machine (run-in-vm): the ways of keeping the kernel's Wii
# Remote driver away from the remote, and the real tobrisk over hid-generic.
# - Unloading hid_wiimote (the usual way to keep a driver off a device) leaves a
#   remote that connects with no driver and no hidraw node.
# - The README's hand-over, run from the README itself, moves a connected remote
#   to hid-generic, with a hidraw node; tobrisk then says nothing of a driver, the
#   remote hears only tobrisk, the bars show the scenario, and Home ends the run
#   with the release last. The README's way back returns it to hid-wiimote.
# - With hid's ignore_special_drivers at 1, a remote that connects gets hid-generic.
# Usage: hid_generic.sh BUILD_FOLDER
set -uo pipefail
source "$(dirname "$0")/kernel_lib.sh" "$1"
start_x || exit 1

# The README's hand-over block $1, run as written; the kernel setting it touches is
# put back at the end.
run_hand_over() {
  remember_kernel_setting /sys/module/hid/parameters/ignore_special_drivers
  run_readme_block "<!-- hand-over: $1"
}

# With the driver unloaded, the remote gets no driver at all.
step "hid_wiimote unloaded"
unload_module hid_wiimote
start_remote_device "" && wait_for_quiet_log "$LOG"
check "hid_wiimote unloaded: the remote's driver" none "$(remote_driver)"
check "hid_wiimote unloaded: the remote's hidraw node" "" "$(remote_node)"
env -u DISPLAY timeout 120 "$PROGRAM" 2>"$ERR"
check "hid_wiimote unloaded: tobrisk finds no remote" "1|Wii-Remote not found." \
  "$?|$(tail -n 1 "$ERR")"
stop_remote
restore_kernel_state

# The hand-over, then tobrisk over hid-generic.
step "the hand-over"
# Home with Y's and Z's low bits at 1 beside it (byte 2 0xE0), as a remote lying still.
if start_remote "accel=128,0,255;accel_low=0,1,1;gyro=0064" && run_hand_over "to hid-generic"; then
  check "handed over: the remote's driver" hid-generic "$(remote_driver)"
  check "handed over: the remote has a hidraw node" yes "$([ -n "$(remote_node)" ] && echo yes)"
  handed_over=$(wc -l <"$LOG")
  if start_sampling_tobrisk 2; then
    check_bars "hid-generic"
    press_home
    check_exit "hid-generic: Home" 30 0
    check "hid-generic: only tobrisk talked to the remote" "" \
      "$(tail -n +"$((handed_over + 1))" "$LOG" | cut -d' ' -f2- | grep '^write' |
        grep -v -x -E "write ($MODE_BUTTONS|$MODE_ACCEL|$GYRO_REQUEST|$ALL_LEDS|$FIRST_LED)")"
    check "hid-generic: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
      "$(log_events | grep '^write' | tail -n 2 | paste -sd'|')"
    check "hid-generic: no word of a driver on standard error" "" "$(cat "$ERR")"
  else
    fail "hid-generic" "sampling never started"
    cat "$ERR"
  fi
  run_hand_over "back to hid-wiimote"
  check "handed back: the remote's driver" wiimote "$(remote_driver)"
  check "handed back: the remote has a hidraw node" yes "$([ -n "$(remote_node)" ] && echo yes)"
else
  fail "hand-over" "the remote or the README's block failed (driver: $(remote_driver))"
fi
stop_remote

# Special drivers passed over for every device: a remote that connects gets hid-generic.
step "special drivers passed over"
set_kernel_setting /sys/module/hid/parameters/ignore_special_drivers 1
start_remote ""
check "ignore_special_drivers=1: the remote's driver" hid-generic "$(remote_driver)"
stop_remote
restore_kernel_state

finish_checks "hid-generic"
