#!/usr/bin/env bash
# The Windows and Linux builds draw the same bars. With fixed accelerations (X 128,
# Y 0, Z 255) and gyro (-100), a screenshot of tobrisk.exe under Wine and one of
# tobrisk-sim show each of the four bars with the same end points, width and
# colours. Each bar is compared in a band of 7 rows around its line, which holds
# no text; the round caps' corner pixels may differ (Wine and cairo round a
# 6-pixel cap a little differently). Usage: rendering_agreement.sh WINE_TESTS_ENV
# (run under with-xvfb).
set -uo pipefail
source "$(dirname "$0")/wine_lib.sh" "$1"
source "$E2E_DIR/e2e_lib.sh"

SCENARIO="accel=128,0,255;gyro=FF9B"
CAP_CORNER_PIXELS=8 # at most 2 pixels in each corner of the two caps
work=$(mktemp -d)

# Screenshots the window of $PROGRAM into $1 once it samples, then ends it with Esc.
screenshot() {
  start_sampling_program "$SCENARIO" 5 || return 1
  sleep 0.3
  timeout 30 import -window "$WINDOW" "$1"
  press_key "$WINDOW" Escape
  wait_for_exit 5
}

# Where the pixels of colour $2 lie in band image $1, as "x L..R, rows T..B", with
# the band's top row $3; "none" when there are none.
bar_extent() {
  local mask=$1.mask.png box width height left top
  convert "$1" -fill white +opaque "$2" -fill black -opaque "$2" \
    -bordercolor white -border 1 "$mask"
  if [ "$(convert "$mask" -format '%[fx:minima.r]' info:)" != 0 ]; then
    echo none
    return
  fi
  box=$(convert "$mask" -format '%@' info:)
  IFS='x+' read -r width height left top <<<"$box"
  echo "x $((left - 1))..$((left + width - 2)), rows $(($3 + top - 1))..$(($3 + top + height - 2))"
}

# The band's colours, as a sorted list of hex values.
band_colours() {
  convert "$1" -format %c histogram:info: | grep -o '#[0-9A-F]\{6\}' | sort | paste -sd,
}

# Linux first, with a lock folder of its own for the single-instance lock.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
PROGRAM=$LINUX_PROGRAM
E2E_RUNNER=
screenshot "$work/linux.png" || check "Linux: sampling starts" yes no

folder=$(program_folder "$SIM_DLL")
PROGRAM=$folder/tobrisk.exe
E2E_RUNNER=$WINE
screenshot "$work/wine.png" || check "Wine: sampling starts" yes no
stop_wine

if [ -f "$work/linux.png" ] && [ -f "$work/wine.png" ]; then
  # The client areas differ in size (Windows takes the frame out of 520 x 420);
  # the bars are compared where both have pixels.
  linux_width=$(identify -format %w "$work/linux.png")
  wine_width=$(identify -format %w "$work/wine.png")
  width=$((linux_width < wine_width ? linux_width : wine_width))
  # bar | its line's row | its colour
  while IFS='|' read -r name row colour; do
    top=$((row - 3))
    for side in linux wine; do
      convert "$work/$side.png" -crop "${width}x7+0+$top" +repage "$work/$side-$name.png"
    done
    linux_extent=$(bar_extent "$work/linux-$name.png" "$colour" "$top")
    check "$name bar drawn on Linux" yes "$([ "$linux_extent" != none ] && echo yes || echo no)"
    check "$name bar: end points and width" "$linux_extent" \
      "$(bar_extent "$work/wine-$name.png" "$colour" "$top")"
    check "$name bar: colours" "$(band_colours "$work/linux-$name.png")" \
      "$(band_colours "$work/wine-$name.png")"
    differing=$(compare -metric AE "$work/linux-$name.png" "$work/wine-$name.png" null: 2>&1)
    check "$name bar: differs at most in its caps' corners" yes \
      "$([ "${differing%%.*}" -le "$CAP_CORNER_PIXELS" ] 2>/dev/null && echo yes || echo "no ($differing pixels)")"
  done <<'BARS'
X|50|#C80000
Y|100|#00C800
Z|150|#0000C8
gyro|250|#000000
BARS
fi

if [ "$failures" -ne 0 ] && [ -n "${KEEP_SCREENSHOTS:-}" ]; then
  cp "$work/linux.png" "$work/wine.png" "$KEEP_SCREENSHOTS/" 2>/dev/null
fi
finish_checks
