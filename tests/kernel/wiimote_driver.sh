#!/usr/bin/env bash
# Inside the virtual machine (run-in-vm): the real tobrisk over the hidraw node of
# the uhid remote while the kernel's own driver, hid-wiimote, holds the remote and
# talks to it beside us. The original remote with a Nunchuk in its port, so that
# the driver reads its identity on binding and every 4 s, and a battery read of the
# desktop's, after which the driver sets its own reporting mode; then the later
# model; then a desktop program reading the driver's input devices beside us while
# the Nunchuk comes and goes. Home is pressed with the accelerometer's low bits set
# beside it (byte 2 0xE0 in the 0x31 reports), as a real remote lying still may
# send it. Under emulation durations mean nothing: the checks are of orders,
# values and endings. Usage: wiimote_driver.sh BUILD_FOLDER
set -uo pipefail
source "$(dirname "$0")/kernel_lib.sh" "$1"
start_x || exit 1

# Lines of the remote's log from its first line matching $1 on.
log_after_first() { log_events | sed -n "\|$1|,\$p"; }

# Whether the log shows, since sampling began, the driver's identity poll and its
# mode report after a status request (before Home, the program sends no 12 00 30).
driver_seen_while_sampling() {
  local sampling
  sampling=$(log_after_first "$GYRO_REQUEST")
  echo "$sampling" | grep -q "write $DRIVER_IDENTITY_READ" &&
    echo "$sampling" | sed -n "/^write $STATUS_REQUEST/,\$p" | grep -q "^write $MODE_BUTTONS"
}

# The original remote, its Nunchuk, the driver's polls and a battery read. The
# replies come 10 ms late, so that a bar showing the driver's reply would stand
# for a sample's time, long enough for the watcher to see.
step "the original remote with a Nunchuk"
RECORDING=$(mktemp)
if start_remote "extension=nunchuk;accel=128,0,255;accel_low=3,1,1;gyro=0064;latency=10000"; then
  check "original: the driver holds the remote" wiimote "$(remote_driver)"
  check "original: the driver found the Nunchuk" nunchuk \
    "$(cat "/sys/bus/hid/devices/$(hid_device)/extension")"
  check "original: the driver read the Nunchuk's identity on binding" yes \
    "$(log_events | grep -q "write $DRIVER_IDENTITY_READ" && echo yes)"
  export TINY_HID_RECORD=$RECORDING
  if start_sampling_tobrisk 2; then
    unset TINY_HID_RECORD
    check_bars "original"
    start_watching_gyro_bar
    cat /sys/class/power_supply/wiimote_battery_*/capacity >/dev/null
    check "original: the driver talks while we sample" yes \
      "$(wait_until 30 "the driver's polls and mode" driver_seen_while_sampling && echo yes)"
    press_home
    check_exit "original: Home" 30 0
    check "original: the gyro bar never showed anything but the gyro" yes \
      "$(stop_watching_gyro_bar | only_the_gyro_bar)"
    stop_remote
    check "original: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
      "$(program_events | tail -n 2 | paste -sd'|')"
    check "original: Home came with the low bits beside it (bytes 60 e0)" yes \
      "$(grep -q '^E: [0-9.]* 6 31 60 e0 ' "$RECORDING" && echo yes)"
    check "original: the driver's replies reached us" yes \
      "$(grep -q '^E: [0-9.]* 22 21 00 .. 50 00 fa 00 00 a4 20 00 00' "$RECORDING" && echo yes)"
    check "original: standard error names the driver" yes \
      "$(grep -q "bound to the kernel driver 'wiimote'" "$ERR" && echo yes)"
  else
    fail "original" "sampling never started"
    cat "$ERR"
    stop_remote
  fi
else
  fail "original" "no hidraw node for the remote: $(describe_remote)"
  stop_remote
fi
unset TINY_HID_RECORD
[ -n "${KEEP_LOGS:-}" ] && cp "$LOG" /vm/original-remote.log

# The later model: the driver finds its built-in motion sensor and never polls.
step "the later model"
if start_remote "accel=128,0,255;accel_low=0,1,1;gyro=0064" --later-model; then
  check "later model: the driver holds the remote" wiimote "$(remote_driver)"
  check "later model: the driver took it for the later model" gen20 \
    "$(cat "/sys/bus/hid/devices/$(hid_device)/devtype")"
  if start_sampling_tobrisk 2; then
    check_bars "later model"
    press_home
    check_exit "later model: Home" 30 0
    stop_remote
    check "later model: SIGTERM destroys the remote's device" "0|destroyed|" \
      "$REMOTE_CODE|$(tail -n 1 "$REMOTE_OUT" | cut -d' ' -f2)|$(hid_device)"
    check "later model: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
      "$(program_events | tail -n 2 | paste -sd'|')"
    check "later model: standard error names the driver" yes \
      "$(grep -q "bound to the kernel driver 'wiimote'" "$ERR" && echo yes)"
  else
    fail "later model" "sampling never started"
    cat "$ERR"
    stop_remote
  fi
else
  fail "later model" "no hidraw node for the remote: $(describe_remote)"
  stop_remote
fi
[ -n "${KEEP_LOGS:-}" ] && cp "$LOG" /vm/later-remote.log

# A desktop beside the driver: a program reads the driver's accelerometer and
# Nunchuk devices (desktop_reader), and opening them makes the driver switch the
# remote to 0x35. Tobrisk samples beside it; the Nunchuk is pulled out and plugged
# in again (SIGRTMIN to the remote), each time with a status report nobody asked
# for and no data report until the next 0x12; Home ends the run. Tobrisk leaves the
# remote in 0x30, where the reader gets no accelerations until a status report
# (here a battery read) makes the driver send its own mode again.
step "a desktop reading the driver's devices, a Nunchuk that comes and goes"
READER_OUT=$(mktemp)
RECORDING=$(mktemp)
frames() { grep -c "^$1 " "$READER_OUT"; }
frames_above() { [ "$(frames 0)" -gt "$1" ]; }
extension_is() { [ "$(extension_now)" = "$1" ]; }
reader_served() { grep -q '^open 1' "$READER_OUT" && log_events | grep -q "^write $MODE_ACCEL_EXTENSION"; }
identity_polls() { log_events | grep -c "^write ${DRIVER_IDENTITY_READ% 00 06}"; }
polls_above() { [ "$(identity_polls)" -gt "$1" ]; }
extension_now() { cat "/sys/bus/hid/devices/$(hid_device)/extension" 2>/dev/null; }
status_reports() { grep -c '^E: [0-9.]* 7 20 ' "$RECORDING"; }
# Whether tobrisk has read $1 status reports or more, and 0x31 reports after the last.
accelerations_after_status() {
  [ "$(status_reports)" -ge "$1" ] &&
    awk '/^E: [0-9.]* 7 20 / { n = 0 } /^E: [0-9.]* 6 31 / { n++ } END { exit n < 3 }' "$RECORDING"
}
if start_remote "extension=nunchuk;accel=128,0,255;gyro=0064"; then
  "$(dirname "$WATCH_BAR")/desktop_reader" 30 "Nintendo Wii Remote Accelerometer" \
    "Nintendo Wii Remote Nunchuk" >"$READER_OUT" 2>&1 &
  READER=$!
  check "desktop: the driver switched to 0x35 for the reader" yes \
    "$(wait_until 30 "0x35 for the reader" reader_served && echo yes)"
  export TINY_HID_RECORD=$RECORDING
  if start_sampling_tobrisk 2; then
    unset TINY_HID_RECORD
    check_bars "desktop"
    seen=$(frames 0)
    check "desktop: the reader's accelerations go on beside tobrisk" yes \
      "$(wait_until 30 "the reader's frames" frames_above $((seen + 20)) && echo yes)"
    before=$(status_reports)
    kill -RTMIN "$REMOTE_PID"
    wait_until 30 "the Nunchuk pulled out" extension_is none
    pulled=$(extension_now)
    kill -RTMIN "$REMOTE_PID"
    wait_until 30 "the Nunchuk plugged in" extension_is nunchuk
    check "desktop: the Nunchuk went and came back" "none|nunchuk" "$pulled|$(extension_now)"
    check "desktop: tobrisk's accelerations came back after each status report" yes \
      "$(wait_until 30 "accelerations after the status reports" accelerations_after_status $((before + 2)) && echo yes)"
    check_bars "desktop, after the Nunchuk"
    press_home
    check_exit "desktop: Home" 30 0
    check "desktop: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
      "$(program_events | grep -v "^write $MODE_ACCEL_EXTENSION" | tail -n 2 | paste -sd'|')"
    wait_for_quiet_log "$READER_OUT"
    seen=$(frames 0)
    wait_until 30 "the driver's next identity poll" polls_above "$(identity_polls)"
    check "desktop: in tobrisk's 0x30 the reader gets no accelerations" "$seen" "$(frames 0)"
    cat /sys/class/power_supply/wiimote_battery_*/capacity >/dev/null
    check "desktop: a battery read gives the reader its accelerations back" yes \
      "$(wait_until 30 "the reader's frames after a battery read" frames_above "$seen" && echo yes)"
    # What the driver's mode reports cost the sampler: how many samples had one
    # between our mode report and our read request, and what tobrisk read.
    log_after_first "$GYRO_REQUEST" | grep '^write 1[27] ' |
      awk -v mode="write $MODE_ACCEL" -v request="write $GYRO_REQUEST" '
           $0 == mode { ours = 1; next }
           $0 == request { total++; hit += between; ours = 0; between = 0; next }
           /^write 12 / && ours { between = 1 }
           END { printf "desktop: %d of %d samples had the driver'"'"'s mode between ours and the read\n", hit, total }'
    echo "desktop: tobrisk read $(grep -c '^E: [0-9.]* 22 35 ' "$RECORDING") reports 0x35 and" \
      "$(grep -c '^E: [0-9.]* 6 31 ' "$RECORDING") reports 0x31"
  else
    fail "desktop" "sampling never started"
    cat "$ERR"
  fi
  kill_process "$READER"
  stop_remote
else
  fail "desktop" "no hidraw node for the remote: $(describe_remote)"
  stop_remote
fi
unset TINY_HID_RECORD

finish_checks "hid-wiimote"
