#!/usr/bin/env bash
# Inside the virtual machine with systemd as its first process (run-in-vm --systemd):
# Tobrisk installed as the README's "Install it" says and used as a person does.
# - The README's install commands that need root (sudo) run here, as written, on
#   the package the others built (--build, on the host before the guest boots:
#   a build under emulation takes many minutes); apt installs it offline.
# - AppStream's tools find the installed metainfo, by its id and by the remotes'
#   modaliases, and those match the modalias the kernel gives the remote.
# - The uhid remote's hidraw node gets the rule's uaccess tag; once a person's
#   console session (an autologin on tty1) is active on seat0, the node carries an
#   ACL for that person, and another user may not open it.
# - As that person, tobrisk-measure writes its CSV file, and tobrisk, started by
#   the desktop entry's Exec line, shows the bars and ends on Home with exit code
#   0 and the release last.
# - As the other user, tobrisk says "Wii-Remote not found." after the note that
#   names the node and the session it is kept for.
# - The README's hand-over to hid-generic gives the person the new node too, and
#   its setting for every connection holds when the hid module next loads.
# - apt-get purge removes every file the package installed, and after its trigger
#   the node has the tag no more.
# Usage: installed.sh BUILD_FOLDER, in the guest; installed.sh --build, on the host.
set -uo pipefail
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
INSTALL_BLOCK="<!-- install: Debian"

if [ "${1:-}" = "--build" ]; then
  source "$SOURCE/tests/support/test_lib.sh"
  commands=$(readme_block "$INSTALL_BLOCK" | grep -v '^sudo ')
  [ -n "$commands" ] || { echo "installed.sh: no build command in the README's install block" >&2; exit 1; }
  (cd "$SOURCE" && bash -euc "$commands")
  exit
fi

source "$(dirname "$0")/kernel_lib.sh" "$1"
PERSON=tbperson
OTHER=tbother
RULE=/usr/lib/udev/rules.d/70-tobrisk-wiimote.rules
METAINFO=/usr/share/metainfo/org.tobrisk.Tobrisk.metainfo.xml

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
# Waits until the remote's node $1 carries $PERSON's ACL; $2 names the check.
check_person_acl() {
  udevadm settle --timeout=30
  wait_until 30 "the node's ACL for $PERSON" person_in_acl "$1"
  check "$2: an ACL for $PERSON" yes "$(person_in_acl "$1" && echo yes)"
}
# tobrisk-measure as $PERSON for $1 seconds; $2 names the check.
check_person_measures() {
  local csv=/home/$PERSON/run.csv
  (as_user "$PERSON" timeout 60 tobrisk-measure --seconds "$1" --csv "$csv") >/dev/null 2>&1
  check "$2: tobrisk-measure as $PERSON" "0|yes" "$?|$([ "$(wc -l <"$csv")" -gt 2 ] && echo yes)"
}

step "the README's install"
# man-db's trigger indexes every manual page on the machine (tens of thousands on
# this one: minutes under emulation) unless its flag file is gone.
rm -f /var/lib/man-db/auto-update
(cd "$SOURCE" && run_as_written "$(readme_block "$INSTALL_BLOCK" | grep '^sudo ')") \
  >"$TEST_TMP/install.log" 2>&1
status=$?
check "README install: exit code" 0 "$status"
[ "$status" -eq 0 ] || cat "$TEST_TMP/install.log"
check "README install: the package" "install ok installed" "$(dpkg-query -W -f='${Status}' tobrisk 2>&1)"
check "README install: the rule" yes "$([ -f "$RULE" ] && echo yes)"

step "AppStream"
# appstreamcli reads the installed metainfo. It looks a modalias up by the text the
# metainfo gives (AppStream 0.16 does not match a device's modalias to a pattern).
check "AppStream: the installed component" yes \
  "$(timeout 120 appstreamcli get org.tobrisk.Tobrisk 2>&1 | grep -q '^Identifier: org.tobrisk.Tobrisk' && echo yes)"
patterns=$(sed -n 's:.*<modalias>\(.*\)</modalias>.*:\1:p' "$METAINFO")
for pattern in $patterns; do
  check "AppStream: what provides $pattern" yes "$(timeout 120 appstreamcli what-provides modalias \
    "$pattern" 2>&1 | grep -q '^Identifier: org.tobrisk.Tobrisk' && echo yes)"
done

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
modalias=$(cat "/sys/bus/hid/devices/$(hid_device)/modalias")
# shellcheck disable=SC2053 # the metainfo's modalias is a pattern
check "node: the metainfo's pattern matches $modalias" yes \
  "$(for pattern in $patterns; do [[ $modalias == $pattern ]] && echo yes; done)"
udevadm settle --timeout=30
check "node: the rule's uaccess tag" yes "$([[ $(node_tags "$node") == *:uaccess:* ]] && echo yes)"
check_person_acl "$node" node
check "node: $PERSON opens it" yes "$(user_opens "$PERSON" "$node" && echo yes)"
check "node: $OTHER may not open it" no "$(user_opens "$OTHER" "$node" && echo yes || echo no)"

start_x || exit 1
step "tobrisk-measure as $PERSON"
check_person_measures 3 "hid-wiimote"

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
check "$OTHER: the note names the node and the seat's session" yes \
  "$(grep "hidraw node $node is not accessible" "$ERR" | grep -q "session is active at the seat" &&
    echo yes)"

step "the README's hand-over to hid-generic"
# A remote again, Home no longer held down.
stop_remote
start_remote "accel=128,0,255;gyro=0064" || describe_remote
remember_kernel_setting /sys/module/hid/parameters/ignore_special_drivers
run_readme_block "<!-- hand-over: to hid-generic"
check "hand-over: the remote's driver" hid-generic "$(remote_driver)"
check_person_acl "$(remote_node)" "hand-over"
check_person_measures 2 "hand-over"
stop_remote

step "the README's hand-over at every connection"
# The guest starts from an initramfs of its own, not Debian's: the rebuild of
# Debian's is noted, not run, and the hid module's next load is a reload here.
update-initramfs() { echo "update-initramfs $*" >>"$TEST_TMP/initramfs"; }
run_readme_block "<!-- hand-over: at every connection"
check "every connection: the initramfs rebuilt" "update-initramfs -u" "$(cat "$TEST_TMP/initramfs")"
modprobe -r hid_wiimote hid_generic uhid hid && modprobe -a hid uhid hid_generic hid_wiimote
check "every connection: hid loads with the setting" 1 \
  "$(cat /sys/module/hid/parameters/ignore_special_drivers)"
start_remote "accel=128,0,255;gyro=0064" || describe_remote
check "every connection: the remote's driver" hid-generic "$(remote_driver)"
node=$(remote_node)
check_person_acl "$node" "every connection"
rm /etc/modprobe.d/tobrisk-hid-generic.conf

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
