# Shared pieces of the end-to-end checks: start the program on a scenario, wait for
# its window, drive it, and read what reached the simulated remote. Sourced.

source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

# The program's reports as the simulated remote's log shows them.
MODE_ACCEL='write 12 00 31'
GYRO_REQUEST='write 17 04 92 00 90 00 02'
RELEASE='write 12 00 30|write 11 10|close'

# How many read requests the log holds.
requests_sent() { grep -c "$GYRO_REQUEST" "$LOG"; }

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

# Waits up to $2 seconds (a decimal, e.g. 1.5) for the command in $1 to succeed,
# trying it every WAIT_STEP seconds (0.05 unless set).
wait_for() {
  local deadline
  deadline=$(( $(now_ms) + $(awk "BEGIN { print int($2 * 1000) }") ))
  until eval "$1"; do
    if [ "$(now_ms)" -gt "$deadline" ]; then
      return 1
    fi
    sleep "${WAIT_STEP:-0.05}"
  done
}

# The log's events without their times (and without the carriage returns of the
# Windows build's text files).
log_events() { cut -d' ' -f2- "$LOG" | tr -d '\r'; }

# The last $1 events of the log, on one line separated by '|'.
last_events() { log_events | tail -n "$1" | paste -sd'|'; }

# The window ID of the first window whose name is exactly $1.
find_window() { xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }

# Starts the program on scenario $1 in the background, through the command in
# E2E_RUNNER when one is set (Wine's loader for a Windows build); sets PID and LOG.
start_program() {
  LOG=$(mktemp)
  TINY_HID_SIM="$1" TINY_HID_SIM_LOG="$LOG" ${E2E_RUNNER:+"$E2E_RUNNER"} "$PROGRAM" &
  PID=$!
}

# Waits up to $1 seconds for the program to end; sets CODE (or fails).
wait_for_exit() {
  if ! wait_for "! kill -0 $PID 2>/dev/null" "$1"; then
    kill -9 "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
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
  wait_for '[ -n "$(find_window Tobrisk)" ]' 10 || return 1
  WINDOW=$(find_window Tobrisk)
  wait_for "[ \$(requests_sent) -ge $1 ]" 10
}

# Starts the program on scenario $1 and waits until it samples ($2 read requests),
# for the checks whose subject comes after start-up. The start-up probe gives the
# remote 100 ms; on a machine busy with other work it can miss them, so a start
# that does not reach sampling is ended and tried again, three times at most.
start_sampling_program() {
  local attempt
  for attempt in 1 2 3; do
    start_program "$1"
    if wait_for_sampling "$2"; then
      return 0
    fi
    echo "start-up attempt $attempt on '$1' did not reach sampling" >&2
    kill -9 "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
    rm -f "$LOG"
    wait_for '[ -z "$(find_window Tobrisk)" ]' 5 || true
  done
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
