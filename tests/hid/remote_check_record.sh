#!/usr/bin/env bash
# tobrisk-remote-check --record FILE, built against the simulated remote: it
# records its session as the library does for TINY_HID_RECORD, asking for the
# gyro register again after every reply, and the recording replays.
# Usage: remote_check_record.sh REMOTE_CHECK_SIM
set -uo pipefail
source "$(dirname "$0")/../support/checks.sh"
recording=$(mktemp)
log=$(mktemp)

TINY_HID_SIM="gyro=0064" "$1" --record "$recording" >"$log" 2>&1
check "exit code" 0 "$?"
check "says where" "recorded in $recording" "$(tail -n 1 "$log")"
check "the remote's name" "N: Nintendo RVL-CNT-01" "$(grep '^N:' "$recording")"
# In the recording's order: a request first, then after every reply but the last a
# request before the next reply; replies at all, several of them.
order=$(awk '/^E: [0-9]*\.[0-9]* 22 21 00 00 10 00 90 00 64 / { printf "r" }
             /^# O: [0-9]*\.[0-9]* 7 17 04 92 00 90 00 02$/ { printf "q" }' "$recording")
check "asks again after each reply" yes \
  "$(echo "$order" | grep -q '^q' && ! echo "$order" | grep -q 'rr' &&
     [ "$(echo "$order" | tr -cd r | wc -c)" -ge 3 ] && echo yes)"
check "ends in button-only reporting, first LED" "12 00 30|11 10" \
  "$(grep '^# O:' "$recording" | tail -n 2 | cut -d' ' -f5- | paste -sd'|')"

TINY_HID_SIM="replay=$recording" "$1" >"$log" 2>&1
check "the recording replays: its replies come back" yes \
  "$(grep -q '(read reply: error 0, register 0064)' "$log" && echo yes)"
rm -f "$recording" "$log"
finish_checks remote_check_record
