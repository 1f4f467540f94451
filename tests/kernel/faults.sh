#!/usr/bin/env bash
# Inside the virtual machine (run-in-vm): the real tobrisk through the kernel's
# hidraw when the remote is not there, when it never streams, and when it vanishes
# while tobrisk samples (the kernel removes its device); and the scenarios the uhid
# remote refuses, since a real remote could not follow them. hid-wiimote holds the
# remote, as it does by default. Usage: faults.sh BUILD_FOLDER
set -uo pipefail
source "$(dirname "$0")/kernel_lib.sh" "$1"
start_x || exit 1

# The program with no display, where its message box's text goes to standard
# error: prints "exit code|the last line it wrote".
headless_run() {
  env -u DISPLAY timeout 120 "$PROGRAM" 2>"$ERR"
  echo "$?|$(tail -n 1 "$ERR")"
}

# The program under X at a start-up failure: its box shows, Enter dismisses it and
# the program ends with exit code $2; $1 names the check.
check_box_run() {
  start_tobrisk
  if wait_until 30 "the message box" window_shown tobrisk; then
    press_key "$(find_window tobrisk)" Return
    check_exit "$1" 30 "$2"
  else
    fail "$1" "no message box"
    kill_process "$PID"
  fi
}

step "scenarios the uhid remote refuses"
for scenario in "driver=1" "period=5"; do
  TINY_HID_SIM=$scenario timeout 60 "$UHID_REMOTE" >/dev/null 2>"$ERR"
  check "uhid remote refuses $scenario: exit code, no device" "2|" "$?|$(hid_device)"
done

step "no remote"
check_box_run "no remote: the box" 1
check "no remote: the message" "1|Wii-Remote not found." "$(headless_run)"

step "a remote that never streams"
if start_remote "stream=0"; then
  check_box_run "silent remote: the box" 1
  check "silent remote: the message" "1|Wii-Remote cannot open." "$(headless_run)"
  check "silent remote: the mode report of each run reached it, nothing else of ours" \
    "write $MODE_ACCEL|write $MODE_ACCEL" "$(program_events | paste -sd'|')"
else
  fail "silent remote" "no hidraw node for the remote: $(describe_remote)"
fi
stop_remote

# The remote vanishes while tobrisk samples: the window keeps its last bars and
# answers, and Esc ends the program as usual.
step "a remote that vanishes"
if start_remote "accel=128,0,255;gyro=0064" && start_sampling_tobrisk 2; then
  check_bars "before it vanished"
  unplug_remote
  check "vanished: the kernel removed the remote" yes \
    "$(wait_until 20 "the remote's HID device to go" no_hid_device && echo yes)"
  wait_until 20 "the uhid remote's end" process_gone "$REMOTE_PID"
  wait "$REMOTE_PID" 2>/dev/null
  check "vanished: the remote destroyed its device" "tobrisk-uhid-remote: destroyed (unplugged)" \
    "$(tail -n 1 "$REMOTE_OUT")"
  check_bars "after it vanished"
  press_key "$WINDOW" Escape
  check_exit "vanished: Esc" 30 0
else
  fail "vanished" "sampling never started"
  stop_remote
fi

# tobrisk-measure over the hidraw node, ended by SIGINT at a random moment of its
# run: a read that the signal interrupts is no missed reply, so --max-missed 0
# passes, every CSV row is a reading, and the release comes last.
step "tobrisk-measure and SIGINT"
MEASURE_OUT=$(mktemp)
MEASURE_CSV=$(mktemp)
# Whether the measuring run has sent a read request, or has ended.
measure_answered() { requests_at_least 1 || process_gone "$PID"; }
# One start of tobrisk-measure that reaches sampling (under emulation a start may
# miss the probe's 100 ms and end).
start_measure_once() {
  "$BUILD/measure/tobrisk-measure" --seconds 120 --csv "$MEASURE_CSV" --max-missed 0 \
    >"$MEASURE_OUT" 2>"$ERR" &
  PID=$!
  wait_until 30 "tobrisk-measure's first read request" measure_answered
  ! process_gone "$PID" || { cat "$ERR" >&2; return 1; }
}
if start_remote "accel=128,0,255;gyro=0064"; then
  retry_start start_measure_once
  delay_ms=$((RANDOM % 3000))
  echo "measure: SIGINT $delay_ms ms after the first read request"
  sleep "$(awk "BEGIN { print $delay_ms / 1000 }")"
  kill -INT "$PID"
  check_exit "measure: SIGINT" 30 0
  check "measure: the verdict" PASS "$(tail -n 1 "$MEASURE_OUT")"
  check "measure: every row a reading" "reading" "$(tail -n +2 "$MEASURE_CSV" | cut -d, -f9 | sort -u)"
  check "measure: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
    "$(program_events | tail -n 2 | paste -sd'|')"
  stop_remote
else
  fail "measure" "no hidraw node for the remote: $(describe_remote)"
  stop_remote
fi

finish_checks "kernel faults"
