#!/usr/bin/env bash
# Runs the package's postinst and postrm with a stand-in udevadm that records its
# calls: they reload the rules and trigger hidraw devices when udevadm is there,
# and succeed when it is missing or fails (a container, a chroot).
# Usage: maintainer_scripts.sh PACKAGING_FOLDER
set -euo pipefail
source "$(dirname "$0")/../support/test_lib.sh"
scripts=$1
work=$(mktemp -d)
mkdir "$work/ok" "$work/failing" "$work/none"
cat >"$work/ok/udevadm" <<'STUB'
#!/bin/sh
echo "$*" >>"$UDEVADM_CALLS"
STUB
printf '#!/bin/sh\necho "$*" >>"$UDEVADM_CALLS"\nexit 1\n' >"$work/failing/udevadm"
chmod +x "$work/ok/udevadm" "$work/failing/udevadm"
reload='control --reload-rules|trigger --subsystem-match=hidraw'

# script, argument, folder with udevadm (or none), expected exit code, expected calls
while IFS=' ' read -r script argument folder code calls; do
  [ "$calls" = "-" ] && calls=""
  rm -f "$work/calls"
  got=0
  # The scripts need only shell builtins and udevadm: PATH holds the stand-in's
  # folder alone, so no real udevadm is reachable.
  UDEVADM_CALLS="$work/calls" PATH="$work/$folder" /bin/sh "$scripts/$script" "$argument" || got=$?
  seen=$(paste -sd'|' "$work/calls" 2>/dev/null || true)
  check "$script $argument with udevadm $folder" "exit $code, calls '$calls'" "exit $got, calls '$seen'"
done <<LIST
postinst configure ok 0 $reload
postinst configure failing 0 $reload
postinst configure none 0 -
postinst abort-upgrade ok 0 -
postrm remove ok 0 $reload
postrm purge ok 0 $reload
postrm remove failing 0 $reload
postrm remove none 0 -
postrm upgrade ok 0 -
LIST

finish_checks "maintainer scripts"
