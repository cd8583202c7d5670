# Shell functions for Wine's notification area and the meter's windows on a private desktop
# ("Wine System Tray"). Source desktop.env first. Icons sit left to right in the order they were
# added, in slots of the small-icon size plus 4 pixels (20 at 96 DPI; TRAY_SLOT says otherwise),
# each icon 2 pixels in from its slot's corner. The helper traytool.exe comes from the build
# (TRAY_TOOL overrides where).

tray_tool=${TRAY_TOOL:-$(dirname "${BASH_SOURCE[0]}")/../build/windows/tests/tools/traytool.exe}
tray_slot=${TRAY_SLOT:-20}

# Prints "x y width height" of the tray window, or fails when there is none.
tray_geometry() {
  local info
  info=$(xwininfo -name "Wine System Tray" 2>/dev/null) || return 1
  awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2}
       END{if (w == "") exit 1; print x, y, w, h}' <<<"$info"
}

# Waits (up to about 60 s) until the tray is at least wide enough for N icons.
tray_wait_icons() {
  local n=$1 geometry
  for _ in $(seq 600); do
    if geometry=$(tray_geometry) && [ "$(cut -d' ' -f3 <<<"$geometry")" -ge $((tray_slot * n)) ]; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Runs one traytool command and prints its answer without the leading "ok"; fails on "err".
tray_command() {
  local answer
  answer=$(wine "$tray_tool" "$@" | tr -d '\r') || { echo "traytool $*: $answer" >&2; return 1; }
  echo "${answer#ok}"
}

# Repaints the tray and saves it as OUT, enlarged SCALE times with no smoothing; with SLOTS, only
# the first SLOTS icon slots.
tray_screenshot() {
  local out=$1 scale=${2:-1} slots=${3:-} x y w h
  tray_command repaint >/dev/null
  read -r x y w h < <(tray_geometry)
  [ -n "$slots" ] && w=$((tray_slot * slots))
  # Capturing the root and cropping is dependable where capturing the window alone is not.
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -filter point -resize "$((scale * 100))%" "$out"
}

# Saves the window titled TITLE, with the window manager's frame, as OUT.
window_screenshot() {
  local out=$1 title=$2 id x y w h left right top bottom
  id=$(xdotool search --onlyvisible --name "^${title}\$" | head -n1)
  [ -n "$id" ] || { echo "no window titled $title" >&2; return 1; }
  read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                                              /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
  IFS=', ' read -r left right top bottom < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //')
  import -window root -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" +repage "$out"
}

# Presses the right button over icon ICON (0, 1, 2), then clicks item ITEM of the popup menu:
# 0 Properties, 1 About, 2 Exit. A click, not a key: the menu's owner is not the foreground
# window, so the keyboard goes to the tray.
tray_menu_command() {
  local icon=$1 item=$2 x y w h
  read -r x y w h < <(tray_geometry)
  xdotool mousemove $((x + tray_slot * icon + tray_slot / 2)) $((y + tray_slot / 2)) click 3
  read -r x y < <(tray_command menuitem "$item")
  xdotool mousemove "$x" "$y" click 1
}
