# The shell tests' library, sourced first by every test script (bash): one result
# line per check, a bounded wait, the private Xvfb, the retry of a start-up, the
# remote's bytes, and an ending that leaves nothing behind.
#
# Each script gets a temporary folder, TEST_TMP, which is also its TMPDIR (every
# mktemp lands there), and marks every process it starts with TOBRISK_TEST_RUN_<pid>
# in their environment. However it ends (success, a failed check, SIGTERM, SIGINT,
# SIGHUP, or the SIGKILL ctest gives a timed-out test's process tree, which a
# watchdog outside that tree sees), its exit actions (on_exit) run, its marked
# processes end and its folder goes.

[ "${TEST_LIB_LOADED:-}" = "$$" ] && return 0
TEST_LIB_LOADED=$$
SCRIPT_NAME=$(basename "$0")
TEST_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tobrisk-test.XXXXXX")
export TMPDIR=$TEST_TMP
TEST_MARK=TOBRISK_TEST_RUN_$$
export "$TEST_MARK=1"
EXIT_ACTIONS=()
passes=0
failures=0

# Records a check: name, expected, actual.
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected '$2', got '$3'"; fi; }

# Records a check that passed (its name, and what happened if worth saying), or one
# that failed (its name, what happened).
pass() { passes=$((passes + 1)) && echo "ok   $1"; }
fail() { failures=$((failures + 1)) && echo "FAIL $1: $2"; }

# Prints the tally, prefixed with $1 when given, and returns 0 when nothing failed.
finish_checks() {
  echo "${1:+$1: }$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

# Says what the script does next, so that a run that hangs or is stopped shows how
# far it came.
step() {
  echo "-- $(date +%T) $*"
  printf '%s\n' "$*" >"$TEST_TMP/.step"
}

# " in step 'STEP'" for the step under way, for the messages of a wait that gives
# up and of a run that is stopped.
in_step() { [ -s "$TEST_TMP/.step" ] && echo " in step '$(cat "$TEST_TMP/.step")'"; }

# Milliseconds since the epoch; in $1 seconds, given as a decimal (1, 0.5, 2.25).
now_ms() { echo $((${EPOCHREALTIME//[^0-9]/} / 1000)); }
milliseconds() {
  local fraction=000
  [[ $1 == *.* ]] && fraction=${1#*.}000
  echo $((10#0${1%%.*} * 1000 + 10#${fraction:0:3}))
}

# Waits until COMMAND [ARG...] succeeds, trying it every WAIT_STEP seconds (0.05
# unless set), for $1 seconds (a decimal) at most; when it gives up it says what it
# waited for ($2) and in which step. The command answers at once: what it runs that
# could hang (the X tools) runs under timeout.
# Usage: wait_until SECONDS WHAT COMMAND [ARG...]
wait_until() {
  local seconds=$1 what=$2 deadline
  shift 2
  deadline=$(($(now_ms) + $(milliseconds "$seconds")))
  until "$@"; do
    if [ $((${EPOCHREALTIME//[^0-9]/} / 1000)) -ge "$deadline" ]; then
      echo "$SCRIPT_NAME: gave up after $seconds s waiting for $what$(in_step)" >&2
      return 1
    fi
    sleep "${WAIT_STEP:-0.05}"
  done
}

# Whether process $1 has ended (a child the shell has not reaped yet is a zombie).
process_gone() {
  local stat
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 0
  stat=${stat##*) }
  [ "${stat%% *}" = Z ]
}

# Whether file $1 has not changed for $2 milliseconds.
file_quiet_for() {
  local changed
  changed=$(date -r "$1" +%s%3N 2>/dev/null) && [ $(($(now_ms) - changed)) -ge "$2" ]
}

# Ends process $1 at once (SIGKILL) and reaps it.
kill_process() { kill -9 "$1" 2>/dev/null; wait "$1" 2>/dev/null; return 0; }

# Runs START [ARG...], a start-up that returns 0 once it has got going and otherwise
# has undone itself, up to START_ATTEMPTS times (3 unless set): on a busy machine
# the program's start-up probe may miss the remote's 100 ms. START_ATTEMPT holds
# the attempt's number meanwhile.
retry_start() {
  for START_ATTEMPT in $(seq "${START_ATTEMPTS:-3}"); do
    "$@" && return 0
    echo "$SCRIPT_NAME: start-up attempt $START_ATTEMPT ($*) did not get going" >&2
  done
  return 1
}

# Starts a private Xvfb on a free display number (Xvfb picks it and writes it once
# it accepts connections), exports DISPLAY and sets XVFB_PID.
start_xvfb() {
  local folder
  folder=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$folder/display" 2>"$folder/xvfb.log" &
  XVFB_PID=$!
  wait_until 30 "Xvfb to start" xvfb_answered "$folder/display"
  if [ ! -s "$folder/display" ]; then
    echo "$SCRIPT_NAME: Xvfb did not start" >&2
    cat "$folder/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$folder/display")"
}
xvfb_answered() { [ -s "$1" ] || process_gone "$XVFB_PID"; }

# The README's shell block that follows the line starting with $1 (the HTML comment
# that names the block), as written.
readme_block() {
  awk -v marker="$1" '
      index($0, marker) == 1 { found = 1; next }
      found && /^```sh/ { inside = 1; next }
      inside && /^```/ { exit }
      inside { print }' "$(dirname "${BASH_SOURCE[0]}")/../../README.md"
}

# Runs the shell commands $1 as a reader of the README would, but already root: sudo
# is the command itself. Fails when there are none.
run_as_written() {
  local status
  [ -n "$1" ] || { echo "no commands to run" >&2; return 1; }
  sudo() { "$@"; }
  eval "$1"
  status=$?
  unset -f sudo
  return "$status"
}

# Runs the README's block after marker $1 as written (run_as_written).
run_readme_block() { run_as_written "$(readme_block "$1")"; }

# Reads the remote's reports as shell variables (MODE_ACCEL='12 00 31', ...) from
# the file the build writes from tests/support/remote_reports.h: $1, or the one
# TOBRISK_REMOTE_REPORTS names.
load_remote_reports() {
  local file=${1:-${TOBRISK_REMOTE_REPORTS:-}}
  [ -f "$file" ] || { echo "$SCRIPT_NAME: no remote_reports.sh at '$file'" >&2; exit 1; }
  # shellcheck source=/dev/null
  source "$file"
}

# Adds function $1 to what runs when the script ends, the last added first.
on_exit() { EXIT_ACTIONS+=("$1"); }

# The processes that bear mark $1, the search's own grep left out (a script and
# its subshells bear none: the environment a process was started with counts).
marked_processes() {
  local files
  files=$(env -u "$1" grep -lzx "$1=1" /proc/[0-9]*/environ 2>/dev/null)
  files=${files//\/proc\//}
  echo "${files//\/environ/}"
}
none_marked() { [ -z "$(marked_processes "$1")" ]; }

# Ends every process that bears mark $1: SIGTERM, then SIGKILL after 5 s.
end_marked_processes() {
  local pids
  pids=$(marked_processes "$1")
  # shellcheck disable=SC2086,SC2046
  [ -z "$pids" ] || kill -TERM $pids 2>/dev/null
  wait_until 5 "the script's processes to end" none_marked "$1" 2>/dev/null ||
    kill -KILL $(marked_processes "$1") 2>/dev/null
  return 0
}

# The EXIT trap: the exit actions, then the processes, then the folder. A child
# forked but not yet started as its program still has the traps: it does nothing.
finish_test() {
  local status=$? index
  [ "$BASHPID" = "$$" ] || return
  set +e
  trap - EXIT TERM INT HUP
  touch "$TEST_TMP/.ended"
  for ((index = ${#EXIT_ACTIONS[@]} - 1; index >= 0; index--)); do "${EXIT_ACTIONS[index]}"; done
  [ -s "$TEST_TMP/.watchdog" ] && kill "$(cat "$TEST_TMP/.watchdog")" 2>/dev/null
  end_marked_processes "$TEST_MARK"
  rm -rf "$TEST_TMP"
  exit "$status"
}

# A stopping signal ($1, number $2): says where the script was and ends it.
stopped_by() {
  [ "$BASHPID" = "$$" ] && echo "$SCRIPT_NAME: stopped by SIG$1$(in_step)" >&2
  exit $((128 + $2))
}

trap finish_test EXIT
trap 'stopped_by TERM 15' TERM
trap 'stopped_by INT 2' INT
trap 'stopped_by HUP 1' HUP

# The watchdog, outside the script's process tree (a double fork): once the script
# is gone without its EXIT trap, it says where the script was, ends the marked
# processes and removes the folder. Whoever read the output may be gone too.
(
  (
    trap '' PIPE
    echo "$BASHPID" >"$TEST_TMP/.watchdog"
    tail --pid=$$ -f /dev/null >/dev/null 2>&1
    [ -d "$TEST_TMP" ] && [ ! -e "$TEST_TMP/.ended" ] || exit 0
    echo "$SCRIPT_NAME: killed$(in_step)" >&2
    end_marked_processes "$TEST_MARK"
    rm -rf "$TEST_TMP"
  ) </dev/null &
)
