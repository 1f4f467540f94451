#!/usr/bin/env bash
# Inside the virtual machine (run-in-vm): recordings over the kernel's hidraw, with
# hid-wiimote beside us. tobrisk-remote-check --record and the real tobrisk with
# TINY_HID_RECORD each record a session whose N:, I: and R: lines describe the
# kernel's device; the program's recording, replayed in tobrisk-sim, paints the
# same bars and ends by the same Home. Usage: recording.sh BUILD_FOLDER
set -uo pipefail
source "$(dirname "$0")/kernel_lib.sh" "$1"
REMOTE_CHECK=$BUILD/hid/tobrisk-remote-check
SIM_PROGRAM=$BUILD/app/tobrisk-sim
start_x || exit 1

# The report descriptor as the recording's R: line gives it: "R: <length> <bytes>".
sysfs_descriptor() {
  local bytes
  bytes=$(od -An -tx1 -v "/sys/bus/hid/devices/$(hid_device)/report_descriptor" | tr -s ' \n' ' ')
  echo "R: $(echo "$bytes" | wc -w)$bytes" | sed 's/ $//'
}

# The recording $1's R: line, its bytes joined from the lines it wraps onto.
recorded_descriptor() {
  awk '/^R:/ { line = $0; more = 1; next }
       more && /^[0-9a-f][0-9a-f]( |$)/ { line = line " " $0; next }
       { more = 0 }
       END { print line }' "$1" | tr -s ' '
}

MANUAL=$(mktemp)
SESSION=$(mktemp)
if start_remote "accel=128,0,255;gyro=0064"; then
  step "tobrisk-remote-check --record"
  descriptor=$(sysfs_descriptor)
  timeout 120 "$REMOTE_CHECK" --record "$MANUAL" >"$ERR" 2>&1
  check "remote check: exit code" 0 "$?"
  check "remote check: the device" "N: Nintendo RVL-CNT-01|I: 5 057e 0306" \
    "$(grep -E '^(N|I):' "$MANUAL" | paste -sd'|')"
  check "remote check: the kernel's report descriptor" "$descriptor" "$(recorded_descriptor "$MANUAL")"
  check "remote check: the register's replies" yes \
    "$(grep -q "^E: [0-9.]* 22 $GYRO_REPLY_HEAD 00 64 " "$MANUAL" && echo yes)"

  step "tobrisk with TINY_HID_RECORD"
  export TINY_HID_RECORD=$SESSION
  if start_sampling_tobrisk 2; then
    unset TINY_HID_RECORD
    check_bars "recorded session"
    press_home
    check_exit "recorded session: Home" 30 0
    check "recorded session: the device" "N: Nintendo RVL-CNT-01|I: 5 057e 0306" \
      "$(grep -E '^(N|I):' "$SESSION" | paste -sd'|')"
    check "recorded session: the kernel's report descriptor" "$descriptor" \
      "$(recorded_descriptor "$SESSION")"
    check "recorded session: the release recorded last" "$MODE_BUTTONS|$FIRST_LED" \
      "$(grep '^# O:' "$SESSION" | tail -n 2 | cut -d' ' -f5- | paste -sd'|')"
  else
    fail "recorded session" "sampling never started"
    cat "$ERR"
  fi
  unset TINY_HID_RECORD
else
  fail "recordings" "no hidraw node for the remote: $(describe_remote)"
fi
stop_remote

step "the recording replayed in tobrisk-sim"
# The session replayed by the simulated remote: the same bars, then the recorded Home.
LOG=$(mktemp)
TINY_HID_SIM="replay=$SESSION" TINY_HID_SIM_LOG="$LOG" "$SIM_PROGRAM" 2>"$ERR" &
PID=$!
if wait_for_sampling 1; then
  check_bars "replayed session"
  check_exit "replayed session: the recorded Home" 60 0
else
  fail "replayed session" "sampling never started"
  cat "$ERR"
  kill_process "$PID"
fi

finish_checks "kernel recordings"
