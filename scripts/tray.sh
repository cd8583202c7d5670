# Shell functions for Wine's notification area on the private desktop ("Wine System Tray").
# Source desktop.env first. Icons sit left to right in the order they were added, in 20-pixel
# slots, each 16x16 icon 2 pixels in from its slot's corner.

tray_tool=${TRAY_TOOL:-$(dirname "${BASH_SOURCE[0]}")/../build/windows/tests/tools/traytool.exe}

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
    if geometry=$(tray_geometry) && [ "$(cut -d' ' -f3 <<<"$geometry")" -ge $((20 * n)) ]; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Repaints the tray and saves it as OUT, enlarged SCALE times with no smoothing.
tray_screenshot() {
  local out=$1 scale=${2:-1} x y w h
  wine "$tray_tool" repaint
  read -r x y w h < <(tray_geometry)
  # Capturing the root and cropping is dependable where capturing the window alone is not.
  import -window root -crop "${w}x${h}+${x}+${y}" +repage -filter point -resize "$((scale * 100))%" "$out"
}

# Presses the right button over icon ICON (0, 1, 2), then types KEY into the popup menu.
tray_menu_command() {
  local icon=$1 key=$2 x y w h
  read -r x y w h < <(tray_geometry)
  xdotool mousemove $((x + 20 * icon + 10)) $((y + 10)) click 3
  sleep 1
  xdotool key "$key"
}
