# Shared pieces of the checks that run inside the virtual machine (run-in-vm): the
# uhid remote as a kernel device, the node the kernel makes for it, an X server, and
# the real program. Sourced by the guest scripts, which get the build folder as
# their first argument; the checks and waits come from the end-to-end library.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e_lib.sh"

BUILD=$(cd "$1" && pwd)
PROGRAM=$BUILD/app/tobrisk
UHID_REMOTE=$BUILD/sim/tobrisk-uhid-remote
# Says what the script does next, so that a guest that runs out of time shows how far
# it came.
step() { echo "-- $(date +%T) $*"; }

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

# Waits until the log at $1 has not grown for half a second (10 s at most).
wait_for_quiet_log() {
  local size=-1 still=0
  for _ in $(seq 200); do
    local now
    now=$(stat -c %s "$1" 2>/dev/null || echo 0)
    if [ "$now" = "$size" ]; then
      still=$((still + 1))
      [ "$still" -ge 10 ] && return 0
    else
      still=0
      size=$now
    fi
    sleep 0.05
  done
  return 1
}

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
  wait_for '[ -n "$(hid_device)" ]' 30
}

# Starts the uhid remote as start_remote_device does, and waits until its hidraw
# node is there and the driver that took it is done with it: hid-wiimote has named
# the remote's model (devtype) and the remote's log has gone quiet.
start_remote() {
  start_remote_device "$@" && wait_for '[ -n "$(remote_node)" ]' 30 || return 1
  if [ "$(remote_driver)" = wiimote ]; then
    wait_for '! grep -q pending "/sys/bus/hid/devices/$(hid_device)/devtype"' 30 || return 1
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
  wait_for '[ -z "$(hid_device)" ]' 10 || true
}

# Starts an X server for the whole script; sets DISPLAY.
start_x() {
  step "an X server"
  local folder
  folder=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$folder/display" \
    2>"$folder/xvfb.log" &
  wait_for "[ -s $folder/display ]" 30 || { cat "$folder/xvfb.log"; return 1; }
  DISPLAY=":$(tr -d '[:space:]' <"$folder/display")"
  export DISPLAY
}

# Starts the real program in the background, its standard error in $ERR; sets PID.
start_tobrisk() {
  "$PROGRAM" 2>"$ERR" &
  PID=$!
}

# Starts the program and waits until the window is up and it has sent $1 read
# requests; under emulation a start may miss the probe's 100 ms, so a start that
# does not reach sampling is ended and tried again, three times at most.
start_sampling_tobrisk() {
  local attempt
  for attempt in 1 2 3; do
    start_tobrisk
    if wait_for_sampling "$1"; then
      return 0
    fi
    echo "start-up attempt $attempt did not reach sampling" >&2
    kill -9 "$PID" 2>/dev/null || true
    wait "$PID" 2>/dev/null || true
    wait_for '[ -z "$(find_window Tobrisk)" ]' 10 || true
  done
  return 1
}

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
  convert "$file" -format "$format" info: | tr ' ' '\n' | cut -c1-6 | paste -sd' '
}

# The four bars for X 128, Y 0, Z 255 and a gyro of +100 (from 250 to 350), at the X
# dot and right of it, Y at the left edge, Z at the right edge, the gyro bar's two
# ends and right of it.
BARS="C80000 FFFFFF 00C800 0000C8 000000 000000 FFFFFF"
bars_now() {
  import -window "$WINDOW" "$SHOT" 2>/dev/null &&
    pixels "$SHOT" 250,50 256,50 0,100 500,150 252,250 348,250 356,250
}

# Checks that the window comes to show those bars (painting lags under emulation);
# $1 names the check.
check_bars() {
  wait_for '[ "$(bars_now)" = "$BARS" ]' 20
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
  kill "$WATCHER" 2>/dev/null || true
  wait "$WATCHER" 2>/dev/null || true
  cat "$WATCHED"
}

SHOT=$(mktemp --suffix=.png)
ERR=$(mktemp) # a program's standard error
