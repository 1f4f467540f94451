# Shared pieces of the checks that run inside the virtual machine (run-in-vm): the
# uhid remote as a kernel device, the node the kernel makes for it, an X server, and
# the real program. Sourced by the guest scripts, which get the build folder as
# their first argument; the checks and waits come from the end-to-end library, the
# remote's bytes from the build folder. Each step says what it does (step), so that
# a guest stopped at its time limit shows how far it came.
BUILD=$(cd "$1" && pwd)
export TOBRISK_REMOTE_REPORTS=$BUILD/tests/support/remote_reports.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e_lib.sh"

PROGRAM=$BUILD/app/tobrisk
UHID_REMOTE=$BUILD/sim/tobrisk-uhid-remote

# Emulation makes every process started costly: the waits look less often.
WAIT_STEP=0.2
# Tobrisk's single-instance lock lives in $XDG_RUNTIME_DIR.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR

# The kernel's HID device of the remote (e.g. 0005:057E:0306.0001), once there.
hid_device() {
  local device
  for device in /sys/bus/hid/devices/0005:057E:*; do
    [ -e "$device" ] && basename "$device" && return
  done
}

# The driver that holds the remote's HID device: wiimote, hid-generic or none.
remote_driver() {
  local device
  device=$(hid_device)
  if [ -n "$device" ] && [ -e "/sys/bus/hid/devices/$device/driver" ]; then
    basename "$(readlink "/sys/bus/hid/devices/$device/driver")"
  else
    echo none
  fi
}

# The remote's hidraw node (/dev/hidrawN), or nothing.
remote_node() {
  local device
  device=$(hid_device)
  [ -n "$device" ] || return 0
  local node
  for node in /sys/bus/hid/devices/"$device"/hidraw/hidraw*; do
    [ -e "$node" ] && echo "/dev/$(basename "$node")"
  done
}

# Whether the kernel has the remote's HID device; whether it has none; whether it
# has the remote's hidraw node; whether hid-wiimote has named the remote's model.
hid_device_there() { [ -n "$(hid_device)" ]; }
no_hid_device() { [ -z "$(hid_device)" ]; }
remote_node_there() { [ -n "$(remote_node)" ]; }
model_named() { ! grep -q pending "/sys/bus/hid/devices/$(hid_device)/devtype"; }

# Waits until the log at $1 has not changed for half a second (10 s at most).
wait_for_quiet_log() { wait_until 10 "$1 to go quiet" file_quiet_for "$1" 500; }

# Kernel settings the script changed (each path, then its value before) and modules
# it unloaded, which restore_kernel_state, or at the latest the script's end, puts back.
SAVED_SETTINGS=()
UNLOADED_MODULES=()
remember_kernel_setting() { SAVED_SETTINGS+=("$1" "$(cat "$1")"); }
set_kernel_setting() { remember_kernel_setting "$1" && echo "$2" >"$1"; }
unload_module() { modprobe -r "$1" && UNLOADED_MODULES+=("$1"); }

# Puts back every kernel setting and module the script changed, the last first.
restore_kernel_state() {
  local index
  for ((index = ${#SAVED_SETTINGS[@]} - 2; index >= 0; index -= 2)); do
    echo "${SAVED_SETTINGS[index + 1]}" >"${SAVED_SETTINGS[index]}"
  done
  for index in "${UNLOADED_MODULES[@]}"; do modprobe "$index"; done
  SAVED_SETTINGS=()
  UNLOADED_MODULES=()
}
on_exit restore_kernel_state

# Starts the uhid remote on scenario $1 (further arguments go to it) and waits until
# the kernel has its HID device; sets REMOTE_PID and LOG, the remote's log.
start_remote_device() {
  local scenario=$1
  shift
  LOG=$(mktemp)
  REMOTE_OUT=$(mktemp)
  LOG_BOUND=0
  TINY_HID_SIM="$scenario" TINY_HID_SIM_LOG="$LOG" "$UHID_REMOTE" "$@" >"$REMOTE_OUT" 2>&1 &
  REMOTE_PID=$!
  wait_until 30 "the remote's HID device" hid_device_there
}

# Starts the uhid remote as start_remote_device does, and waits until its hidraw
# node is there and the driver that took it is done with it: hid-wiimote has named
# the remote's model (devtype) and the remote's log has gone quiet.
start_remote() {
  start_remote_device "$@" && wait_until 30 "the remote's hidraw node" remote_node_there ||
    return 1
  if [ "$(remote_driver)" = wiimote ]; then
    wait_until 30 "hid-wiimote to name the remote's model" model_named || return 1
  fi
  wait_for_quiet_log "$LOG" && LOG_BOUND=$(wc -l <"$LOG")
}

# What there is of the remote, for a failure's message.
describe_remote() {
  echo "device '$(hid_device)', driver $(remote_driver), node '$(remote_node)';" \
    "the remote said: $(paste -sd' ' "$REMOTE_OUT" 2>/dev/null)"
}

# Presses Home on the uhid remote now; unplugs it now.
press_home() { kill -USR1 "$REMOTE_PID"; }
unplug_remote() { kill -USR2 "$REMOTE_PID"; }

# Stops the uhid remote (SIGTERM destroys the device) and waits for the device to
# go; sets REMOTE_CODE, its exit code.
stop_remote() {
  kill "$REMOTE_PID" 2>/dev/null || true
  REMOTE_CODE=0
  wait "$REMOTE_PID" 2>/dev/null || REMOTE_CODE=$?
  wait_until 10 "the remote's HID device to go" no_hid_device || true
}

# Starts an X server for the whole script; sets DISPLAY.
start_x() {
  step "an X server"
  start_xvfb
}

# Starts the real program in the background, its standard error in $ERR; sets PID.
start_tobrisk() {
  "$PROGRAM" 2>"$ERR" &
  PID=$!
}

# One start of the program that reaches its window and $1 read requests, or is
# ended and leaves no window.
start_sampling_tobrisk_once() {
  start_tobrisk
  wait_for_sampling "$1" && return 0
  kill_process "$PID"
  wait_until 10 "the window of an ended start to go" no_window Tobrisk
  return 1
}

# Starts the program and waits until it samples ($1 read requests); under emulation
# a start may miss the probe's 100 ms, so it may take more than one start.
start_sampling_tobrisk() { retry_start start_sampling_tobrisk_once "$1"; }

# The program's reports in the remote's log: after the driver bound to the remote
# (LOG_BOUND, the log's lines by then), and without what the driver sends later,
# its status requests, writes and identity reads (the program sends none of these).
program_events() {
  log_events | tail -n +"$((LOG_BOUND + 1))" | grep '^write ' |
    grep -v -E '^write (15 |16 |17 04 a[46] )'
}

WATCH_BAR=$(dirname "$PROGRAM")/../tests/kernel/watch_bar

# The colours (RRGGBB) of the pixels "x,y" given after the PNG $1, on one line: one
# process for all of them, which emulation makes worth it.
pixels() {
  local file=$1 format="" point
  shift
  for point in "$@"; do format="$format%[hex:p{$point}] "; done
  timeout 60 convert "$file" -format "$format" info: | tr ' ' '\n' | cut -c1-6 | paste -sd' '
}

# The four bars for X 128, Y 0, Z 255 and a gyro of +100 (from 250 to 350), at the X
# dot and right of it, Y at the left edge, Z at the right edge, the gyro bar's two
# ends and right of it.
BARS="C80000 FFFFFF 00C800 0000C8 000000 000000 FFFFFF"
bars_now() {
  timeout 60 import -window "$WINDOW" "$SHOT" 2>/dev/null &&
    pixels "$SHOT" 250,50 256,50 0,100 500,150 252,250 348,250 356,250
}

# Checks that the window comes to show those bars (painting lags under emulation);
# $1 names the check.
bars_shown() { [ "$(bars_now)" = "$BARS" ]; }
check_bars() {
  wait_until 20 "the bars" bars_shown
  check "$1: the bars" "$BARS" "$(bars_now)"
}

# Whether the watcher's extents (stop_watching_gyro_bar) are all the one of a gyro
# of +100: "yes", or what else it saw.
only_the_gyro_bar() {
  awk '$1 == "reads" { reads = $2; next }
       $1 != "none" && $1 >= 244 && $1 <= 252 && $2 >= 348 && $2 <= 356 { next }
       { odd = odd $0 "; " }
       END { print (reads > 0 && odd == "") ? "yes" : "saw " odd reads " reads" }'
}

# Starts watching the gyro bar's row of the program's window (watch_bar); sets WATCHER.
start_watching_gyro_bar() {
  WATCHED=$(mktemp)
  "$WATCH_BAR" "$WINDOW" 250 100 450 >"$WATCHED" &
  WATCHER=$!
}

# Stops the watcher; prints the extents it saw, one "first last reads" a line.
stop_watching_gyro_bar() {
  kill "$WATCHER" 2>/dev/null
  wait "$WATCHER" 2>/dev/null
  cat "$WATCHED"
}

SHOT=$(mktemp --suffix=.png)
ERR=$(mktemp) # a program's standard error
