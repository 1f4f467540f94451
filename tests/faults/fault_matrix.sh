#!/usr/bin/env bash
# The fault matrix: the real program with the simulated remote on an X server, one
# run per row, over every fault the simulated remote can produce crossed with every
# way the program can end, at awkward moments (during the probe, during the
# sampler's start delay, in the middle of a sample, while the message box is up).
#
# For every row: the exit code; no hang (the remote is closed, and the program
# ends, within one second of the request, counted from the moment xdotool or the
# close tool has delivered it; for Home, from the moment Home is down or, when
# that is before sampling begins, from the first sample); the last events on the remote (the release reports 0x12 00 30 and
# 0x11 10, then the close, whenever the remote is still there; the close alone
# once it is unplugged; for start-up failures the whole log); exactly one close
# and nothing after it; no misuse line.
#
# Usage: fault_matrix.sh PROGRAM CLOSE_TOOL [REPORT]   (run under with-xvfb)
# PROGRAM is tobrisk-sim, or tobrisk.exe beside the simulated DLL with E2E_RUNNER
# set to wine64 (tests/faults/wine_fault_matrix.sh); E2E_BOX_TITLE and
# E2E_TEARDOWN_SECONDS as in tests/e2e/program_e2e.sh: the teardown is added to
# the time the process has to end, and, for the endings that take the window down
# (a close request), to the time the remote's close may take, since Wine with no
# window manager waits for one before it destroys a window. REPORT, when given,
# receives the results as a Markdown table. FAULT_ROWS, when set, is a pattern:
# only rows whose name matches it run.
set -uo pipefail
PROGRAM=$1
CLOSE_TOOL=$2
REPORT=${3:-}
BOX_TITLE=${E2E_BOX_TITLE:-$(basename "$PROGRAM")}
source "$(dirname "$0")/../e2e/e2e_lib.sh"
# ThreadSanitizer builds otherwise sleep a second at exit while a worker thread
# still runs (as the sampler does in its start delay), which would count as a hang.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}atexit_sleep_ms=0"
# The Linux build keeps its single-instance lock in $XDG_RUNTIME_DIR: a private
# one, so that the same user's other runs of the program (another test run, a
# window left open) are never taken for the instance that is already there.
if [ -z "${E2E_RUNNER:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi

START_FAILED="open|write $MODE_ACCEL|close"
TEARDOWN=${E2E_TEARDOWN_SECONDS:-0}
HOME_ALLOWED_MS=1000  # from the moment Home is down to the close on the remote
CLOSE_ALLOWED_S=1     # from Esc or the close request to the close on the remote
END_ALLOWED_S=1       # from the request, or the box's dismissal, to the exit

# One row: name | scenario | ending | exit code | expected events.
# Endings: home@MS (Home from the scenario, down at MS), esc@WHEN, close@WHEN,
# esc-twice@WHEN, esc-then-close@WHEN (WHEN: window = right after the window
# appears, in the sampler's start delay; sampling = after two read requests; a
# number = that many milliseconds after the start, once the window is up), and
# enter-box, esc-box, close-box (the message box, dismissed 0.3 s after it shows).
# Expected events: R, the release and the close last; C, the close alone last (the
# remote is gone); =EVENTS, the whole log; both ways, nothing after the close.
ROWS=(
  "healthy remote, Home                  | home=1000                        | home@1000          | 0 | R"
  "healthy remote, Esc while sampling    |                                  | esc@sampling       | 0 | R"
  "healthy remote, close while sampling  |                                  | close@sampling     | 0 | R"
  "Esc in the start delay                |                                  | esc@window         | 0 | R"
  "close in the start delay              |                                  | close@window       | 0 | R"
  "Esc twice                             |                                  | esc-twice@sampling | 0 | R"
  "Esc then close                        |                                  | esc-then-close@sampling | 0 | R"
  "Home during the probe                 | home=50                          | home@50            | 0 | R"
  "Home in the start delay               | home=300                         | home@300           | 0 | R"
  "silent remote, Enter on the box       | stream=0                         | enter-box          | 1 | =$START_FAILED"
  "silent remote, Esc on the box         | stream=0                         | esc-box            | 1 | =$START_FAILED"
  "silent remote, box closed             | stream=0                         | close-box          | 1 | =$START_FAILED"
  "silent remote unplugged under the box | stream=0;unplug=200              | enter-box          | 1 | =$START_FAILED"
  "silent remote, Home under the box     | stream=0;home=50                 | enter-box          | 1 | =$START_FAILED"
  "absent remote, Enter on the box       | present=0                        | enter-box          | 1 | =open-failed"
  "absent remote, Esc on the box         | present=0                        | esc-box            | 1 | =open-failed"
  "absent remote, box closed             | present=0                        | close-box          | 1 | =open-failed"
  "first report 0x30, box                | first=0x30                       | enter-box          | 1 | =$START_FAILED"
  "first report 0x21, box closed         | first=0x21                       | close-box          | 1 | =$START_FAILED"
  "first report 0x32, box                | first=0x32                       | esc-box            | 1 | =$START_FAILED"
  "X of 0 in the first report, box       | accel=0,128,128                  | enter-box          | 1 | =$START_FAILED"
  "first report 0x33, Home               | first=0x33;home=1000             | home@1000          | 0 | R"
  "first report 0x33, Esc                | first=0x33                       | esc@sampling       | 0 | R"
  "mute during the probe, Home           | mute=50;home=1200                | home@1200          | 0 | R"
  "mute during the probe, Esc            | mute=50                          | esc@sampling       | 0 | R"
  "mute during the probe, close          | mute=50                          | close@sampling     | 0 | R"
  "mute in the start delay, Home         | mute=300;home=1200               | home@1200          | 0 | R"
  "mute in the start delay, Esc          | mute=300                         | esc@sampling       | 0 | R"
  "mute in the start delay, close        | mute=300                         | close@sampling     | 0 | R"
  "mute while sampling, Home             | mute=1000;home=1500              | home@1500          | 0 | R"
  "mute while sampling, Esc              | mute=1000                        | esc@sampling       | 0 | R"
  "mute, Esc in the start delay          | mute=50                          | esc@window         | 0 | R"
  "unplug during the probe, Esc          | unplug=50                        | esc@800            | 0 | C"
  "unplug during the probe, close        | unplug=50                        | close@window       | 0 | C"
  "unplug in the start delay, Esc        | unplug=300                       | esc@800            | 0 | C"
  "unplug in the start delay, close      | unplug=300                       | close@800          | 0 | C"
  "unplug while sampling, Esc            | unplug=1000                      | esc@1300           | 0 | C"
  "unplug while sampling, close          | unplug=1000                      | close@1300         | 0 | C"
  "unplug after Home                     | home=1000;unplug=1300            | home@1000          | 0 | R"
  "error replies, Home                   | error=8;home=1000                | home@1000          | 0 | R"
  "error replies, Esc                    | error=15                         | esc@sampling       | 0 | R"
  "error replies, close                  | error=8                          | close@sampling     | 0 | R"
  "slow replies, Home mid-sample         | latency=200000;home=1000         | home@1000          | 0 | R"
  "slow replies, Esc mid-sample          | latency=200000                   | esc@sampling       | 0 | R"
  "slow replies, close mid-sample        | latency=200000                   | close@sampling     | 0 | R"
  "replies later than the wait, Esc      | latency=400000                   | esc@sampling       | 0 | R"
  "replies later than the wait, Home     | latency=400000;home=1200         | home@1200          | 0 | R"
  "Home with another button, then Esc    | buttons=00,88@0                  | esc@1000           | 0 | R"
  "Home with a byte-1 button ends        | buttons=01,80@1000               | home@1000          | 0 | R"
  "Home beside the low bits of Y and Z    | accel=128,128,154;accel_low=0,1,1;home=1000 | home@1000 | 0 | R"
  "Home with A beside low bits, then Esc | buttons=00,88@0;accel_low=3,1,1  | esc@1000           | 0 | R"
  "fast period and tiny backlog, Esc     | period=1;backlog=1;latency=0     | esc@sampling       | 0 | R"
)

RETRIED=""
table=()

trim() { sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"$1"; }

# Records one row's result: name, scenario, ending, what happened, and the problems.
record() {
  local status=PASS
  if [ -n "$5" ]; then
    status="FAIL: $5"
    fail "$1 [$2] ($3)" "$5"
  else
    pass "$1 ($4)$RETRIED"
  fi
  table+=("| $1 | \`${2:-(none)}\` | $3 | $4$RETRIED | $status |")
}

# Milliseconds since the opening at which the log shows the close; empty if none.
close_time() { tr -d '\r' <"$LOG" | awk '$2 == "close" { print $1 }' | tail -n 1; }

# Milliseconds since the opening of the first read request, the sampler's first
# sample; empty if none.
first_sample_time() { tr -d '\r' <"$LOG" | awk -v request="$GYRO_REQUEST" '$0 ~ " write " request { print $1; exit }'; }

# Checks the log after the run against the expected events; prints the problems.
check_log() {
  local expect=$1 problems=""
  local events closes last
  events=$(log_events | paste -sd'|')
  closes=$(log_events | grep -c '^close$')
  last=$(log_events | tail -n 1)
  case $expect in
    =*)
      [ "$events" = "${expect#=}" ] || problems+="log '$events', expected '${expect#=}'; " ;;
    R)
      [ "$(last_events 3)" = "$RELEASE" ] || problems+="last events '$(last_events 3)', expected '$RELEASE'; " ;;
    C)
      ! log_events | grep -qxE "write ($MODE_BUTTONS|$FIRST_LED)" || problems+="the release reached a remote that was gone; " ;;
  esac
  if [ "$expect" != "=open-failed" ]; then
    [ "$closes" = 1 ] || problems+="$closes closes; "
    [ "$last" = close ] || problems+="'$last' after the close; "
  fi
  grep -q misuse "$LOG" && problems+="misuse: $(grep misuse "$LOG" | head -n 1); "
  echo "$problems"
}

# Waits for the main window, then for the moment $1 (window, sampling, or
# milliseconds since $2, the start); false when it never came.
reach_moment() {
  wait_until 10 "the main window" window_shown Tobrisk || return 1
  WINDOW=$(find_window Tobrisk)
  case $1 in
    sampling) wait_until 10 "two read requests" requests_at_least 2 || return 1 ;;
    window) ;;
    *) sleep "$(awk "BEGIN { s = ($2 + $1 - $(now_ms)) / 1000; print (s > 0 ? s : 0) }")" ;;
  esac
}

# Sends the ending's request to the window or the box.
request_end() {
  case $1 in
    esc) press_key "$WINDOW" Escape ;;
    close) "$CLOSE_TOOL" "$WINDOW" ;;
    esc-twice) timeout 10 xdotool key --window "$WINDOW" Escape Escape 2>/dev/null ;;
    esc-then-close)
      # Both at once, so the second finds the first under way (or the window gone).
      "$CLOSE_TOOL" "$WINDOW" 2>/dev/null &
      press_key "$WINDOW" Escape
      wait $! ;;
    enter-box) press_key "$BOX" Return ;;
    esc-box) press_key "$BOX" Escape ;;
    close-box) "$CLOSE_TOOL" "$BOX" ;;
  esac
}

# Whether a start-up that should run showed the box instead: a busy machine can
# keep the probe thread from its first read for the whole 100 ms. Then the box is
# dismissed and the program ended, and the row may run again.
probe_missed() {
  wait_until 10 "the main window or the box" window_shown Tobrisk "$BOX_TITLE"
  if window_shown Tobrisk || ! window_shown "$BOX_TITLE"; then
    return 1
  fi
  press_key "$(find_window "$BOX_TITLE")" Return
  wait_for_exit $((2 + TEARDOWN))
}

# Runs one row and records it; a row whose start-up should run gets a second try
# when the probe missed the remote on a busy machine.
run_row() {
  local name scenario ending code expect
  IFS='|' read -r name scenario ending code expect <<<"$1"
  name=$(trim "$name") scenario=$(trim "$scenario") ending=$(trim "$ending")
  code=$(trim "$code") expect=$(trim "$expect")
  if [ -n "${FAULT_ROWS:-}" ] && ! grep -qE "$FAULT_ROWS" <<<"$name"; then
    return
  fi
  START_ATTEMPTS=2 retry_start run_attempt "$name" "$scenario" "$ending" "$code" "$expect" ||
    record "$name" "$scenario" "$ending" "box twice" "the probe missed the remote twice"
}

# One run of a row. Returns 1, having recorded nothing, when the probe missed.
run_attempt() {
  local name=$1 scenario=$2 ending=$3 code=$4 expect=$5
  local how=${ending%@*} when=${ending#*@} problems="" happened
  RETRIED=""
  [ "$START_ATTEMPT" = 1 ] || RETRIED=" (second try: the probe missed the remote on the first)"
  # The last row's windows must be gone, or they could be taken for this row's.
  wait_until 5 "the last row's windows to go" no_window Tobrisk "$BOX_TITLE"
  start_program "$scenario"
  local started requested elapsed
  started=$(now_ms)
  if [ "$code" = 0 ] && probe_missed; then
    return 1
  fi
  case $how in
    home)
      # Home comes from the remote at a moment of its own: no hang means the
      # close reaches the remote within a second of it, then the process ends.
      if ! wait_for_exit "$(awk "BEGIN { print $when / 1000 + 5 }")"; then
        record "$name" "$scenario" "$ending" "hung" "no exit within $((when / 1000 + 5)) s"
        return
      fi
      # The sampler sees Home at its first sample at the earliest.
      local closed seen
      closed=$(close_time)
      seen=$(first_sample_time)
      [ -n "$seen" ] && [ "$seen" -gt "$when" ] || seen=$when
      happened="exit $CODE, closed ${closed:-never} ms after opening"
      if [ -z "$closed" ] || [ $((closed - seen)) -gt $HOME_ALLOWED_MS ]; then
        problems+="closed at ${closed:-never} ms, Home seen from $seen ms; "
      fi
      ;;
    *-box)
      if ! wait_until 10 "the message box" window_shown "$BOX_TITLE"; then
        kill_process "$PID"
        record "$name" "$scenario" "$ending" "no box" "the message box never showed"
        return
      fi
      BOX=$(find_window "$BOX_TITLE")
      sleep 0.3
      request_end "$how"
      requested=$(now_ms)
      if ! wait_for_exit $((END_ALLOWED_S + TEARDOWN)); then
        record "$name" "$scenario" "$ending" "hung" "no exit within $((END_ALLOWED_S + TEARDOWN)) s of the dismissal"
        return
      fi
      elapsed=$(($(now_ms) - requested))
      happened="exit $CODE, $elapsed ms after the dismissal"
      ;;
    *)
      if ! reach_moment "$when" "$started"; then
        kill_process "$PID"
        record "$name" "$scenario" "$ending" "never $when" "the program never reached '$when'"
        return
      fi
      request_end "$how"
      requested=$(now_ms)
      # The remote is closed within a second of the request; then the process ends.
      local closed_after=never close_allowed=$CLOSE_ALLOWED_S
      [[ $how == *close* ]] && close_allowed=$((CLOSE_ALLOWED_S + TEARDOWN))
      if wait_until "$close_allowed" "the remote's close" grep -q ' close' "$LOG"; then
        closed_after=$(($(now_ms) - requested))
      else
        problems+="the remote was not closed within $close_allowed s; "
      fi
      if ! wait_for_exit $((END_ALLOWED_S + TEARDOWN)); then
        record "$name" "$scenario" "$ending" "hung" "${problems}no exit within $((END_ALLOWED_S + TEARDOWN)) s of the request"
        return
      fi
      elapsed=$(($(now_ms) - requested))
      happened="exit $CODE, closed $closed_after ms and ended $elapsed ms after the request at $((requested - started)) ms"
      ;;
  esac
  [ "$CODE" = "$code" ] || problems+="exit code $CODE, expected $code; "
  problems+=$(check_log "$expect")
  record "$name" "$scenario" "$ending" "$happened" "$problems"
}

for row in "${ROWS[@]}"; do
  run_row "$row"
done

if [ -n "$REPORT" ]; then
  {
    echo "| row | scenario | ending | what happened | result |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${table[@]}"
  } >"$REPORT"
fi
finish_checks
