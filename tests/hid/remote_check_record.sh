#!/usr/bin/env bash
# tobrisk-remote-check --record FILE, built against the simulated remote: it
# records its session as the library does for TINY_HID_RECORD, asking for the
# gyro register again after every reply, and the recording replays.
# Usage: remote_check_record.sh REMOTE_CHECK_SIM
set -uo pipefail
source "$(dirname "$0")/../support/test_lib.sh"
load_remote_reports
recording=$(mktemp)
log=$(mktemp)

TINY_HID_SIM="gyro=0064" timeout 60 "$1" --record "$recording" >"$log" 2>&1
check "exit code" 0 "$?"
check "says where" "recorded in $recording" "$(tail -n 1 "$log")"
check "the remote's name" "N: Nintendo RVL-CNT-01" "$(grep '^N:' "$recording")"
# In the recording's order: a request first, then after every reply but the last a
# request before the next reply; replies at all, several of them.
order=$(awk -v reply="^E: [0-9]*\\.[0-9]* 22 $GYRO_REPLY_HEAD 00 64 " \
             -v request="^# O: [0-9]*\\.[0-9]* 7 $GYRO_REQUEST\$" '$0 ~ reply { printf "r" }
             $0 ~ request { printf "q" }' "$recording")
check "asks again after each reply" yes \
  "$(echo "$order" | grep -q '^q' && ! echo "$order" | grep -q 'rr' &&
     [ "$(echo "$order" | tr -cd r | wc -c)" -ge 3 ] && echo yes)"
check "ends in button-only reporting, first LED" "$MODE_BUTTONS|$FIRST_LED" \
  "$(grep '^# O:' "$recording" | tail -n 2 | cut -d' ' -f5- | paste -sd'|')"

TINY_HID_SIM="replay=$recording" timeout 60 "$1" >"$log" 2>&1
check "the recording replays: its replies come back" yes \
  "$(grep -q '(read reply: error 0, register 0064)' "$log" && echo yes)"
finish_checks remote_check_record
