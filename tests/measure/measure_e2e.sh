#!/usr/bin/env bash
# tobrisk-measure-sim end to end, against the simulated remote: the summary's
# statistics against the scenario and against the CSV file, the thresholds' verdicts
# and exit codes, the plot's traces where their values put them, every ending (the time, Home, SIGINT at a moment of its own) with
# a whole CSV file and the release last in the remote's log, and bad input, which
# must leave the remote untouched.
# Usage: measure_e2e.sh TOBRISK_MEASURE_SIM MUTEX_HOLDER
set -uo pipefail
source "$(dirname "$0")/../e2e/e2e_lib.sh"
MEASURE=$1
MUTEX_HOLDER=$2
WORK=$(mktemp -d)
LOG=$WORK/log
# A lock folder of its own, so that no other test's program holds the lock.
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Runs the program on scenario $1 with the arguments after it; sets CODE, and leaves
# its output in $WORK/out, its errors in $WORK/err and the remote's log in $WORK/log
# (LOG, for e2e_lib.sh's last_events).
measure() {
  local scenario=$1
  shift
  rm -f "$WORK/log"
  CODE=0
  TINY_HID_SIM=$scenario TINY_HID_SIM_LOG=$WORK/log timeout 120 "$MEASURE" "$@" >"$WORK/out" \
    2>"$WORK/err" || CODE=$?
}

# Whether file $1 has more than $2 lines.
more_lines_than() { [ "$({ wc -l <"$1"; } 2>/dev/null || echo 0)" -gt "$2" ]; }

# Whether CSV file $1 is whole: its header, then lines of 9 fields each starting
# with whole milliseconds and ending in what the reply was, the last one ended.
csv_whole() {
  [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ] &&
    awk -F, 'NR == 1 { ok = $0 == "ms,gyro,register,accel_x,accel_y,accel_z,buttons,reply_us,reply"; next }
             NF != 9 || $1 !~ /^[0-9]+$/ || $9 !~ /^(reading|refused|missed)$/ { ok = 0 } END { exit !(ok && NR > 1) }' "$1"
}

echo "-- statistics"
measure "gyro_bias=-20;gyro_noise=8;seed=3" --seconds 3 --csv "$WORK/stats.csv"
check "statistics run: exit code" 0 "$CODE"
row=$(awk '$1 == "gyro" { print $2, $3, $4, $5 }' "$WORK/out")
read -r mean sd min max <<<"$row"
samples=$(awk '$1 == "requests" { print $2 }' "$WORK/out")
# Within 4 standard errors of what the scenario asked for (the deviation's also
# allows the rounding to whole counts).
check "the mean is the bias" yes "$(awk -v m="$mean" -v n="$samples" \
  'BEGIN { print (m + 20 < 4 * 8 / sqrt(n) && -20 - m < 4 * 8 / sqrt(n)) ? "yes" : m }')"
check "the deviation is the noise" yes "$(awk -v s="$sd" -v n="$samples" \
  'BEGIN { d = s - 8; if (d < 0) d = -d; print (d < 4 * 8 / sqrt(2 * n) + 0.05) ? "yes" : s }')"
from_csv=$(awk -F, 'NR > 1 && $2 != "" { n++; d = $2 - m; m += d / n; q += d * ($2 - m)
                     if (n == 1 || $2 < lo) lo = $2; if (n == 1 || $2 > hi) hi = $2 }
                     END { printf "%.2f %.2f %.0f %.0f", m, sqrt(q / (n - 1)), lo, hi }' "$WORK/stats.csv")
check "the summary is the CSV's statistics" "$from_csv" "$mean $sd $min $max"
check "the CSV has a line per sample" "$samples" "$(($(wc -l <"$WORK/stats.csv") - 1))"

echo "-- thresholds"
# scenario | arguments | exit code | the last line of the output (an ERE)
while IFS='|' read -r scenario arguments code verdict; do
  # shellcheck disable=SC2086
  measure "$scenario" --seconds 1 $arguments
  check "[$arguments]: exit code" "$code" "$CODE"
  last=$(tail -n 1 "$WORK/out")
  [[ $last =~ ^$verdict$ ]] || fail "[$arguments]: verdict" "'$last' is not '$verdict'"
done <<'ROWS'
gyro_bias=-20;gyro_noise=2|--max-bias 25 --max-noise 4|0|PASS
gyro_bias=-20;gyro_noise=2|--max-bias 5|3|FAIL: bias 2[0-9]\.?[0-9]* > 5 \(by 1[0-9]\.?[0-9]*\)
gyro_bias=3;gyro_noise=6|--max-noise=2|3|FAIL: noise [5-7]\.?[0-9]* > 2 \(by [3-5]\.?[0-9]*\)
gyro_bias=-20;gyro_noise=8|--max-bias 5 --max-noise 1|3|FAIL: bias [0-9.]+ > 5 \(by [0-9.]+\); noise [0-9.]+ > 1 \(by [0-9.]+\)
latency=0|--min-rate 50|0|PASS
latency=0|--min-rate 10000000|3|FAIL: rate [0-9.]+ < 10000000 \(by [0-9.]+\)
mute=300|--max-missed 0|3|FAIL: missed [0-9]+ > 0 \(by [0-9]+\)
mute=300|--max-missed 1000000|0|PASS
stream=1;mute=0|--max-bias 1 --max-noise 1 --max-missed 0|3|FAIL: bias: no reading came; noise: needs two readings, got 0; missed [0-9]+ > 0 \(by [0-9]+\)
error=8;latency=0|--min-rate 50|3|FAIL: rate 0 < 50 \(by 50\)
gyro_bias=7|--max-bias 7|0|PASS
gyro_noise=3|--max-noise 5 --seconds 0.001|3|FAIL: noise: needs two readings, got 1
ROWS

# A remote that refuses every read: its rows are refusals, with the register's
# bytes as text and no reading; the summary counts them apart.
measure "error=8;gyro=1E05" --seconds 0.5 --csv "$WORK/refused.csv"
check "refusals: every row says so" "refused|0x1E05|" \
  "$(awk -F, 'NR > 1 { print $9 "|" $3 "|" $2 }' "$WORK/refused.csv" | sort -u | paste -sd' ')"
check "refusals: counted apart" "0 $(($(wc -l <"$WORK/refused.csv") - 1))" \
  "$(awk '$1 == "readings" { r = $2 } $1 == "refusals" { f = $2 } END { print r, f }' "$WORK/out")"

echo "-- the plot"
# The plot's pixels (tests/measure/plot_pixels.txt, which the Windows plot under
# Wine meets too).
measure "gyro_bias=100" --seconds 0.5 --plot "$WORK/limits.png" --max-bias 150
measure "gyro_bias=100;accel=128,64,192" --seconds 1 --plot "$WORK/plot.png"
check "the plot: exit code" 0 "$CODE"
check "the plot: its size" "800x600" "$(identify -format '%wx%h' "$WORK/plot.png" 2>&1)"
check_plot_pixels "$WORK/plot.png" "$WORK/limits.png"

echo "-- endings"
measure "" --seconds 1 --csv "$WORK/time.csv"
check "the time: exit code" 0 "$CODE"
check "the time: the CSV is whole" yes "$(csv_whole "$WORK/time.csv" && echo yes)"
check "the time: the release last" "$RELEASE" "$(last_events 3)"

measure "home=1500" --seconds 30 --csv "$WORK/home.csv"
check "Home: exit code" 0 "$CODE"
check "Home: the last sample saw it (beside Y's and Z's low bits)" yes \
  "$(tail -n 1 "$WORK/home.csv" | cut -d, -f7 | grep -qE '^0x[0246]0[8ACE]0$' && echo yes)"
check "Home: ended soon after" yes "$(awk -F, 'END { print ($1 < 3000) ? "yes" : $1 }' "$WORK/home.csv")"
check "Home: the release last" "$RELEASE" "$(last_events 3)"

# SIGINT at a moment of its own, once sampling is under way.
rm -f "$WORK/log"
TINY_HID_SIM="" TINY_HID_SIM_LOG=$WORK/log "$MEASURE" --seconds 30 --csv "$WORK/int.csv" \
  >"$WORK/out" 2>"$WORK/err" &
PID=$!
wait_until 10 "20 lines of CSV" more_lines_than "$WORK/int.csv" 20
sleep "0.$((RANDOM % 400))"
kill -INT "$PID"
check_exit "SIGINT" 10 0
check "SIGINT: the CSV is whole" yes "$(csv_whole "$WORK/int.csv" && echo yes)"
check "SIGINT: the summary" 1 "$(grep -c '^requests ' "$WORK/out")"
check "SIGINT: the release last" "$RELEASE" "$(last_events 3)"

# A remote that goes away: the samples after it get no reply, the run ends at its time.
measure "unplug=600" --seconds 1.5 --csv "$WORK/unplug.csv"
check "unplugged: exit code" 0 "$CODE"
check "unplugged: the CSV is whole" yes "$(csv_whole "$WORK/unplug.csv" && echo yes)"
check "unplugged: the missed replies counted" yes \
  "$(awk '$1 == "missed" { print ($3 > 0) ? "yes" : $3 }' "$WORK/out")"

echo "-- the status line"
# Only on a terminal: script(1) gives the program one.
check "no status line off a terminal" 0 "$(tr -cd '\r' <"$WORK/out" | wc -c)"
TINY_HID_SIM="" timeout 60 script -qec "$(printf '%q' "$MEASURE") --seconds 1.2" /dev/null \
  >"$WORK/tty" 2>&1
check "status lines on a terminal" yes \
  "$([ "$(grep -o 'readings/s  gyro' "$WORK/tty" | wc -l)" -ge 3 ] && echo yes)"

echo "-- bad input"
# scenario | arguments | exit code | standard error's first line
while IFS='|' read -r scenario arguments code message; do
  # shellcheck disable=SC2086
  measure "$scenario" $arguments
  check "[$arguments] on '$scenario': exit code" "$code" "$CODE"
  check "[$arguments] on '$scenario': message" "$message" "$(head -n 1 "$WORK/err")"
  if [ "$code" = 2 ] || [[ $message == *write* ]]; then
    check "[$arguments]: the remote untouched" no "$([ -s "$WORK/log" ] && echo yes || echo no)"
  fi
done <<ROWS
|--seconds 0|2|tobrisk-measure: --seconds '0' is not a number of seconds above 0
|--seconds=-3|2|tobrisk-measure: --seconds '-3' is not a number of seconds above 0
|--max-bias abc|2|tobrisk-measure: --max-bias 'abc' is not a number from 0 to 1e12
|--max-noise=1e31|2|tobrisk-measure: --max-noise '1e31' is not a number from 0 to 1e12
|--min-rate|2|tobrisk-measure: --min-rate needs a value
|--colour red|2|tobrisk-measure: unknown option '--colour'
|--plot $WORK/no/such/folder/x.png|1|tobrisk-measure: cannot write '$WORK/no/such/folder/x.png': No such file or directory
|--csv $WORK/no/such/folder/x.csv|1|tobrisk-measure: cannot write '$WORK/no/such/folder/x.csv': No such file or directory
present=0|--seconds 1|1|tobrisk-measure: Wii-Remote not found.
stream=0|--seconds 1|1|tobrisk-measure: Wii-Remote cannot open.
ROWS

"$MUTEX_HOLDER" tobrisk-001 >"$WORK/holder" &
holder=$!
wait_until 5 "the mutex holder" test -s "$WORK/holder"
measure "" --seconds 1
check "the lock held: exit code" 1 "$CODE"
check "the lock held: message" "tobrisk-measure: another Tobrisk program is using the remote" \
  "$(cat "$WORK/err")"
check "the lock held: the remote untouched" no "$([ -s "$WORK/log" ] && echo yes || echo no)"
kill_process "$holder"

# Two openings of one CSV file: the second ends on the lock before it touches the
# file, and the first run's file stays whole. A remote not found leaves an earlier
# plot as it was.
TINY_HID_SIM="" "$MEASURE" --seconds 3 --csv "$WORK/run.csv" >/dev/null 2>&1 &
first=$!
# Once the first run's lines reach the file (its buffer's first write).
wait_until 10 "the first run's CSV lines" test -s "$WORK/run.csv"
measure "" --seconds 1 --csv "$WORK/run.csv"
check "a second opening of the CSV: exit code" 1 "$CODE"
PID=$first
wait_for_exit 30
check "a second opening of the CSV: the first run's file is whole" yes \
  "$(csv_whole "$WORK/run.csv" && tr -d '\000' <"$WORK/run.csv" | cmp -s - "$WORK/run.csv" && echo yes)"
echo "an earlier plot" >"$WORK/earlier.png"
measure "present=0" --seconds 1 --plot "$WORK/earlier.png"
check "no remote: an earlier plot kept" "1|an earlier plot" "$CODE|$(cat "$WORK/earlier.png")"

finish_checks measure_e2e
