#!/usr/bin/env bash
# End to end: the real program with the simulated remote on an X server, driven
# with real key and close events, checked through its exit code, the simulated
# remote's log and a screenshot. Usage: program_e2e.sh PROGRAM CLOSE_TOOL (run
# under with-xvfb). PROGRAM is tobrisk-sim, or tobrisk.exe beside the simulated DLL
# with E2E_RUNNER set to Wine's loader. E2E_BOX_TITLE names the message box's window: by
# default the program's file name, as the Linux build titles it; Windows titles a
# box without a caption "Error". E2E_TEARDOWN_SECONDS is added to the time allowed
# wherever a window is taken down (the close button, a dismissed box): 0 by
# default; Wine with no window manager waits 2 s for one to withdraw each window.
set -uo pipefail
PROGRAM=$1
CLOSE_TOOL=$2
BOX_TITLE=${E2E_BOX_TITLE:-$(basename "$PROGRAM")}
TEARDOWN=${E2E_TEARDOWN_SECONDS:-0}
source "$(dirname "$0")/e2e_lib.sh"

# Ways to end a running program.
end_by_escape() { press_key "$WINDOW" Escape; }
end_by_close() { "$CLOSE_TOOL" "$WINDOW"; }
end_by_home() { :; }

# name | scenario | how it ends | seconds allowed after the request | last events
run_ending_case() {
  local name=$1 scenario=$2 ending=$3 allowed=$4 tail=$5
  if ! start_sampling_program "$scenario" 3; then
    fail "$name" "sampling never started"
    return
  fi
  sleep 0.5
  "$ending"
  if ! wait_for_exit "$allowed"; then
    fail "$name" "still running ${allowed} s after the request"
    return
  fi
  check "$name: exit code" 0 "$CODE"
  check "$name: last reports" "$tail" "$(last_events "$(echo "$tail" | tr '|' '\n' | wc -l)")"
  check "$name: no misuse" 0 "$(grep -c misuse "$LOG")"
}

run_ending_case "Esc" "" end_by_escape 1 "$RELEASE"
run_ending_case "close button" "" end_by_close $((1 + TEARDOWN)) "$RELEASE"
run_ending_case "Home" "home=2000" end_by_home 3 "$RELEASE"
run_ending_case "Esc after the remote went silent" "mute=1000" end_by_escape 1 "$RELEASE"
run_ending_case "Esc after the remote vanished" "unplug=1000" end_by_escape 1 "close"

# Start-up failures show their box, which Enter dismisses: name | scenario | code | events
run_failure_case() {
  local name=$1 scenario=$2 code=$3 events=$4
  start_program "$scenario"
  if wait_until 10 "the message box" window_shown "$BOX_TITLE"; then
    press_key "$(find_window "$BOX_TITLE")" Return
  else
    fail "$name" "no message box"
  fi
  if ! wait_for_exit $((2 + TEARDOWN)); then
    fail "$name" "still running after the box"
    return
  fi
  check "$name: exit code" "$code" "$CODE"
  check "$name: what reached the remote" "$events" "$(log_events | paste -sd'|')"
}

run_failure_case "no remote" "present=0" 1 "open-failed"
run_failure_case "silent remote" "stream=0" 1 "open|write $MODE_ACCEL|close"
not_a_recording=$(mktemp)
echo "hello" > "$not_a_recording"
run_failure_case "replay of a file that is no recording" "replay=$not_a_recording" 1 "open-failed"

# A session recorded through the simulated remote (TINY_HID_RECORD) replays: the
# Home press recorded 2 s in ends the replay as it ended the recording (its data
# reports carry the accelerometer's low bits beside the buttons, as a real remote's).
recording=$(mktemp)
for run in recorded replayed; do
  scenario="home=2000"
  [ "$run" = replayed ] && scenario="replay=$recording"
  [ "$run" = recorded ] && export TINY_HID_RECORD=$recording
  if start_sampling_program "$scenario" 1; then
    unset TINY_HID_RECORD
    check_exit "$run session ends by Home" 4 0
    check "$run session: last reports" "$RELEASE" "$(last_events 3)"
  else
    fail "$run session" "sampling never started"
  fi
  unset TINY_HID_RECORD
done
check "the recording holds the remote's reports" yes \
  "$(grep -q "^E: 00000[12]\.[0-9]\{6\} 6 ${MODE_ACCEL##* } [0246]0 [8ace]0 " "$recording" && echo yes)"

# A second instance ends at once, silently, touching nothing.
if start_sampling_program "" 1; then
  first_log=$LOG
  first_pid=$PID
  start_program ""
  check_exit "second instance" 2 0
  check "second instance: nothing reached the remote" "" "$(cat "$LOG")"
  PID=$first_pid LOG=$first_log
  sampled=$(requests_sent)
  check "second instance: the first one samples on" yes \
    "$(wait_until 5 "more read requests" requests_at_least $((sampled + 1)) && echo yes)"
  press_key "$WINDOW" Escape
  check_exit "first instance after the second" 1 0
else
  fail "second instance" "the first one never sampled"
fi

# The screenshot's bars match fixed values: X 128, Y 0, Z 255, gyro -100.
if start_sampling_program "accel=128,0,255;gyro=FF9B" 5; then
  sleep 0.3
  shot=${SCREENSHOT:-$(mktemp --suffix=.png)}
  import -window "$WINDOW" "$shot"
  check "screenshot: X of 128 is a dot" C80000 "$(pixel "$shot" 250 50)"
  check "screenshot: nothing right of the X dot" FFFFFF "$(pixel "$shot" 256 50)"
  check "screenshot: Y of 0 reaches the left edge" 00C800 "$(pixel "$shot" 0 100)"
  check "screenshot: nothing of Y right of 250" FFFFFF "$(pixel "$shot" 256 100)"
  check "screenshot: Z of 255 reaches the right edge" 0000C8 "$(pixel "$shot" 500 150)"
  check "screenshot: nothing of Z left of 250" FFFFFF "$(pixel "$shot" 244 150)"
  check "screenshot: gyro bar from 150" 000000 "$(pixel "$shot" 152 250)"
  check "screenshot: gyro bar to 250" 000000 "$(pixel "$shot" 248 250)"
  check "screenshot: nothing of the gyro bar left of 150" FFFFFF "$(pixel "$shot" 143 250)"
  press_key "$WINDOW" Escape
  check_exit "screenshot run" 1 0
else
  fail "screenshot run" "sampling never started"
fi

finish_checks
