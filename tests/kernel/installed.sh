#!/usr/bin/env bash
# Inside the virtual machine with systemd as its first process (run-in-vm --systemd):
# Tobrisk installed as the README's "Install it" says and used as a person does.
# - The README's install commands that need root (sudo) run here, as written, on
#   the package the others built (--build, on the host before the guest boots:
#   a build under emulation takes many minutes); apt installs it offline.
# - The uhid remote's hidraw node gets the rule's uaccess tag; once a person's
#   console session (an autologin on tty1) is active on seat0, the node carries an
#   ACL for that person, and another user may not open it.
# - As that person, tobrisk-measure writes its CSV file, and tobrisk, started by
#   the desktop entry's Exec line, shows the bars and ends on Home with exit code
#   0 and the release last.
# - As the other user, tobrisk says "Wii-Remote not found." after the note that
#   names the node it may not open.
# - apt-get purge removes every file the package installed, and after its trigger
#   the node has the tag no more.
# Usage: installed.sh BUILD_FOLDER, in the guest; installed.sh --build, on the host.
set -uo pipefail
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
README=$SOURCE/README.md

# The commands of the README's first shell block under "## Install it".
readme_install_commands() {
  awk '/^## / { section = ($0 == "## Install it") }
       section && /^```sh/ { inside = 1; next }
       inside && /^```/ { exit }
       inside { print }' "$README"
}

if [ "${1:-}" = "--build" ]; then
  commands=$(readme_install_commands | grep -v '^sudo ')
  [ -n "$commands" ] || { echo "installed.sh: no build command in the README's install block" >&2; exit 1; }
  cd "$SOURCE" && exec bash -euc "$commands"
fi

source "$(dirname "$0")/kernel_lib.sh" "$1"
PERSON=tbperson
OTHER=tbother
RULE=/usr/lib/udev/rules.d/70-tobrisk-wiimote.rules

# The README's commands that need root, run as root in the source folder.
run_readme_install() {
  local commands
  commands=$(readme_install_commands | grep '^sudo ')
  [ -n "$commands" ] || { echo "no sudo command in the README's install block" >&2; return 1; }
  sudo() { "$@"; }
  (cd "$SOURCE" && eval "$commands") >"$TEST_TMP/install.log" 2>&1
  local status=$?
  [ "$status" -eq 0 ] || cat "$TEST_TMP/install.log"
  unset -f sudo
  return "$status"
}

# Runs a command as user $1, with that user's home, runtime folder and this X
# display; it replaces the calling process (a background job's PID is the program's).
as_user() {
  local user=$1
  shift
  exec setpriv --reuid="$user" --regid="$user" --init-groups --reset-env \
    env ${DISPLAY:+DISPLAY="$DISPLAY"} XDG_RUNTIME_DIR="/run/user/$(id -u "$user")" "$@"
}

# Whether $PERSON's session is the active one on seat0.
person_active() {
  local session
  session=$(loginctl show-seat seat0 --property=ActiveSession --value 2>/dev/null)
  [ -n "$session" ] && [ "$(loginctl show-session "$session" --property=Name --value)" = "$PERSON" ] &&
    [ "$(loginctl show-session "$session" --property=State --value)" = active ]
}

# The node's udev tags; whether its ACL names $PERSON for reading and writing.
# The tags of the last event (TAGS keeps every tag the node ever had).
node_tags() { udevadm info --query=property "$1" | sed -n 's/^CURRENT_TAGS=//p'; }
person_in_acl() { getfacl --omit-header --absolute-names "$1" 2>/dev/null | grep -q "^user:$PERSON:rw"; }
# Whether user $1 may open node $2 for reading and writing.
user_opens() { (as_user "$1" sh -c ': <>"$0"' "$2") 2>/dev/null; }

step "the README's install"
# man-db's trigger rebuilds the whole manual index, minutes under emulation.
echo 'man-db man-db/auto-update boolean false' | debconf-set-selections
run_readme_install
check "README install: exit code" 0 "$?"
check "README install: the package" "install ok installed" "$(dpkg-query -W -f='${Status}' tobrisk 2>&1)"
check "README install: the rule" yes "$([ -f "$RULE" ] && echo yes)"

# Whether AppStream finds the installed metainfo by the remote's modalias: said, not
# checked (appstreamcli reads the distribution's catalogues, not installed files).
echo "appstreamcli what-provides modalias: $(timeout 120 appstreamcli what-provides modalias \
  hid:b0005g0000v0000057Ep00000306 2>&1 | paste -sd' ')"

step "a person's session on seat0"
useradd --create-home "$PERSON" && useradd --create-home "$OTHER"
mkdir -p /etc/systemd/system/getty@tty1.service.d
printf '[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin %s --noclear %%I linux\n' "$PERSON" \
  >/etc/systemd/system/getty@tty1.service.d/autologin.conf
systemctl daemon-reload && systemctl restart getty@tty1.service
wait_until 60 "$PERSON's session to be active on seat0" person_active
check "session: $PERSON active on seat0" yes "$(person_active && echo yes)"

step "the remote's node"
start_remote "accel=128,0,255;gyro=0064" || describe_remote
node=$(remote_node)
udevadm settle --timeout=30
check "node: the rule's uaccess tag" yes "$([[ $(node_tags "$node") == *:uaccess:* ]] && echo yes)"
wait_until 30 "the node's ACL for $PERSON" person_in_acl "$node"
check "node: an ACL for $PERSON" yes "$(person_in_acl "$node" && echo yes)"
check "node: $PERSON opens it" yes "$(user_opens "$PERSON" "$node" && echo yes)"
check "node: $OTHER may not open it" no "$(user_opens "$OTHER" "$node" && echo yes || echo no)"

start_x || exit 1
step "tobrisk-measure as $PERSON"
csv=/home/$PERSON/run.csv
(as_user "$PERSON" timeout 60 tobrisk-measure --seconds 3 --csv "$csv") >"$ERR" 2>&1
check "measure as $PERSON: exit code" 0 "$?"
check "measure as $PERSON: the CSV file has samples" yes "$([ "$(wc -l <"$csv")" -gt 2 ] && echo yes)"

step "tobrisk from the menu entry as $PERSON"
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/tobrisk.desktop)
# shellcheck disable=SC2086 # the Exec line's words
menu_tobrisk() { as_user "$PERSON" $exec_line; }
PROGRAM=menu_tobrisk
if start_sampling_tobrisk 2; then
  check_bars "menu entry"
  check "menu entry: run by $PERSON" "$(id -u "$PERSON")" "$(ps -o uid= -p "$PID" | tr -d ' ')"
  press_home
  check_exit "menu entry: Home" 30 0
  check "menu entry: the release last" "write $MODE_BUTTONS|write $FIRST_LED" \
    "$(log_events | grep '^write' | tail -n 2 | paste -sd'|')"
else
  fail "menu entry" "sampling never started: $(cat "$ERR")"
fi

step "tobrisk as $OTHER, with no session"
# No display: the message box would wait for a click.
(unset DISPLAY && as_user "$OTHER" timeout 60 tobrisk) 2>"$ERR"
check "$OTHER: tobrisk finds no remote" "1|Wii-Remote not found." "$?|$(tail -n 1 "$ERR")"
check "$OTHER: the note names the node it may not open" yes \
  "$(grep -q "hidraw node $node is not accessible" "$ERR" && echo yes)"

step "apt-get purge"
files=$(dpkg -L tobrisk | while read -r path; do [ -f "$path" ] && echo "$path"; done)
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tobrisk >/dev/null
check "purge: exit code" 0 "$?"
check "purge: files left" "" "$(for path in $files; do [ -e "$path" ] && echo "$path"; done)"
udevadm settle --timeout=30
check "purge: the node's tags after the trigger" no \
  "$([[ $(node_tags "$node") == *:uaccess:* ]] && echo yes || echo no)"
echo "after the purge, the node's ACL: $(getfacl --omit-header --absolute-names "$node" | paste -sd' ')"
stop_remote

finish_checks "installed"
