# Shared pieces of the Wine tests. Sourced with the path of wine-tests.env, which
# each Windows build writes: where its Wine loader (wine64, or the 32-bit wine),
# wineserver, its test prefix, its Windows files and the Linux helpers are.

# shellcheck source=/dev/null
source "$1"
E2E_DIR=$SOURCE_DIR/tests/e2e
export TOBRISK_REMOTE_REPORTS=$REMOTE_REPORTS
source "$SOURCE_DIR/tests/support/test_lib.sh"

# Wine's own environment: the build's prefix and its kind (win64 or win32), no
# debug output, no offer to install Mono or Gecko (nothing here uses them), and no
# winemenubuilder, which would copy the prefix's Start menu (an installed Tobrisk's
# among it) into this machine's desktop menus.
export WINEPREFIX=$WINE_PREFIX WINEARCH
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Makes a folder as a user makes one from the zip: tobrisk.exe beside the
# tiny_hid_dll.dll in $1 (the real or the simulated one); prints its path. It goes
# with the script's temporary folder.
program_folder() {
  local folder
  folder=$(mktemp -d)
  cp "$TOBRISK_EXE" "$folder/tobrisk.exe"
  cp "$1" "$folder/tiny_hid_dll.dll"
  echo "$folder"
}

# Ends every Wine process of the prefix and its wineserver, so that the next test
# starts afresh on its own X server.
stop_wine() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
}

# A test begins with nothing left of an earlier one that was stopped half-way, and
# leaves nothing of its own.
stop_wine
on_exit stop_wine
