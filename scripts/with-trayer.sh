#!/usr/bin/env bash
# Runs a command with a dark notification area on the private desktop: an X system tray panel
# (trayer) tinted like a dark taskbar, #202020, in the bottom right corner. Wine docks every
# notification icon added while it runs into that panel instead of its own white tray window.
# The panel is stopped again afterwards; the command's exit status is returned.
#   CYCLOWISP_DESKTOP=DIR with-trayer.sh COMMAND [ARGS...]
set -eu
dir=${CYCLOWISP_DESKTOP:?CYCLOWISP_DESKTOP is not set: start a desktop with scripts/desktop.sh}
# shellcheck disable=SC1091
. "$dir/desktop.env"

# Wine docks each icon as a window of the small-icon size plus 4 pixels, square (20 at 96 DPI, 36
# at 192); the panel must be higher than that, or it squeezes them. The DPI is the one at-dpi.sh
# set, or the prefix's.
dpi=${CYCLOWISP_DPI:-$("$(dirname "$0")/desktop.sh" dpi "$dir")}
slot=$((16 * dpi / 96 + 4))
height=$((slot + 4 > 24 ? slot + 4 : 24))
width=$((8 * slot > 200 ? 8 * slot : 200))
trayer --edge bottom --align right --widthtype pixel --width "$width" --height "$height" \
       --transparent true --alpha 0 --tint 0x202020 >"$dir/trayer.log" 2>&1 &
panel=$!
trap 'kill $panel 2>/dev/null; wait $panel 2>/dev/null || true' EXIT
# The panel takes the system tray selection while it sets up, before its window is mapped; a
# moment more lets it answer the first dock requests.
for _ in $(seq 100); do
  xwininfo -name panel >/dev/null 2>&1 && break
  sleep 0.1
done
xwininfo -name panel >/dev/null 2>&1 || { echo "trayer did not start; see $dir/trayer.log" >&2; exit 1; }
sleep 0.5
"$@"
