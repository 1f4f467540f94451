# Shared pieces of the end-to-end checks: start the program on a scenario, wait for
# its window, drive it, and read what reached the simulated remote. Sourced.

source "$(dirname "${BASH_SOURCE[0]}")/../support/test_lib.sh"
load_remote_reports

# The program's release as the simulated remote's log shows it, the close last.
RELEASE="write $MODE_BUTTONS|write $FIRST_LED|close"

# How many read requests the log holds.
requests_sent() { grep -c "write $GYRO_REQUEST" "$LOG"; }

# Whether the log holds $1 read requests or more.
requests_at_least() { [ "$(requests_sent)" -ge "$1" ]; }

# The log's events without their times (and without the carriage returns of the
# Windows build's text files).
log_events() { cut -d' ' -f2- "$LOG" | tr -d '\r'; }

# The last $1 events of the log, on one line separated by '|'.
last_events() { log_events | tail -n "$1" | paste -sd'|'; }

# The window ID of the first window whose name is exactly $1.
find_window() { timeout 10 xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }

# Whether a window named exactly $1 (or, given, $2) is shown; whether none is.
window_shown() { [ -n "$(find_window "$1")" ] || { [ -n "${2:-}" ] && [ -n "$(find_window "$2")" ]; }; }
no_window() { ! window_shown "$@"; }

# Presses key $2 in window $1.
press_key() { timeout 10 xdotool key --window "$1" "$2" 2>/dev/null; }

# Starts the program on scenario $1 in the background, through the command in
# E2E_RUNNER when one is set (Wine's loader for a Windows build); sets PID and LOG.
start_program() {
  LOG=$(mktemp)
  TINY_HID_SIM="$1" TINY_HID_SIM_LOG="$LOG" ${E2E_RUNNER:+"$E2E_RUNNER"} "$PROGRAM" &
  PID=$!
}

# Waits up to $1 seconds for the program to end; sets CODE, or ends it and fails.
wait_for_exit() {
  if ! wait_until "$1" "the program's end" process_gone "$PID"; then
    kill_process "$PID"
    return 1
  fi
  CODE=0
  wait "$PID" || CODE=$?
}

# Checks that the program ends within $2 seconds with exit code $3; $1 names it.
check_exit() {
  if wait_for_exit "$2"; then
    check "$1: exit code" "$3" "$CODE"
  else
    fail "$1" "still running $2 s later"
  fi
}

# Waits until the main window is up and the sampler has sent $1 read requests; sets WINDOW.
wait_for_sampling() {
  wait_until 10 "the main window" window_shown Tobrisk || return 1
  WINDOW=$(find_window Tobrisk)
  wait_until 10 "$1 read requests" requests_at_least "$1"
}

# One start of the program on scenario $1 that samples ($2 read requests), or is
# ended and leaves no window.
start_sampling_once() {
  start_program "$1"
  wait_for_sampling "$2" && return 0
  kill_process "$PID"
  rm -f "$LOG"
  wait_until 5 "the window of an ended start to go" no_window Tobrisk
  return 1
}

# Starts the program on scenario $1 and waits until it samples ($2 read requests),
# for the checks whose subject comes after start-up, in up to three starts.
start_sampling_program() { retry_start start_sampling_once "$@"; }

# One start of the program on scenario $1 that shows its main window, or, when the
# probe missed the remote and the box named $2 showed, is dismissed and ended.
start_window_once() {
  start_program "$1"
  wait_until 30 "the main window or the box" window_shown Tobrisk "$2"
  window_shown "$2" || return 0
  press_key "$(find_window "$2")" Return
  wait_for_exit 10 || true
  rm -f "$LOG"
  return 1
}

# The colour of pixel ($2, $3) of PNG $1 as RRGGBB.
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }

# Checks a plot of tobrisk-measure against the pixels of tests/measure/plot_pixels.txt:
# $1 the plot of the constant traces, $2 the one with the bias limits.
check_plot_pixels() {
  local what x y colour png
  while read -r what x y colour; do
    png=$1
    [[ $what == limit* ]] && png=$2
    check "the plot: $what at ($x, $y)" "$colour" \
      "$(convert "$png" -format "%[hex:p{$x,$y}]" info: 2>&1 | cut -c1-6)"
  done < <(grep -v '^#' "$(dirname "${BASH_SOURCE[0]}")/../measure/plot_pixels.txt")
}
