#!/usr/bin/env bash
# Makes the README's pictures in a private virtual desktop: docs/tray.png and docs/tray-dark.png
# (the same graph on a light and on a dark notification area, enlarged), docs/dialog.png and
# docs/about.png (the meter dialog and the About box as windows), and docs/tray-150.png (the tray
# at 150 % display scaling: 24-pixel icons, 72 columns). The graph is fed a fixed series of
# readings through the sample value, so the picture shows the same curve whatever the machine is
# doing.
#   screenshots.sh [BUILD_DIR]   default: the windows preset's build/windows
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd)
else
  cmake --preset windows >/dev/null
  build=$top/build/windows
fi
cmake --build "$build" -j2 --target cyclowis traytool stripview
exe=$build/cyclowis.exe
export TRAY_TOOL=$build/tests/tools/traytool.exe

desk=$build/shots-desktop
scripts/desktop.sh start "$desk" >/dev/null
meter=
tool=
panel=
cleanup() {
  [ -n "$panel" ] && kill "$panel" 2>/dev/null
  [ -n "$tool" ] && kill "$tool" 2>/dev/null
  [ -n "$meter" ] && kill "$meter" 2>/dev/null
  scripts/desktop.sh stop "$desk"
}
trap cleanup EXIT
# shellcheck disable=SC1091
. "$desk/desktop.env"
. scripts/tray.sh

# One traytool for the whole series: every Wine start costs seconds.
coproc TOOL { wine "$TRAY_TOOL"; }
tool=$TOOL_PID
ask() {
  local answer
  echo "$*" >&"${TOOL[1]}"
  read -r answer <&"${TOOL[0]}"
  answer=${answer%$'\r'}
  [ "${answer:0:2}" = ok ] || { echo "traytool $*: $answer" >&2; return 1; }
  echo "${answer#ok }"
}

# The first run's state: no stored delay (0.5 s), and the graph's baseline until readings come.
ask cleardelay >/dev/null
ask usage 0 >/dev/null
wine "$exe" &
meter=$!
tray_wait_icons 3 || { echo "the meter's icons did not appear" >&2; exit 1; }

# 48 readings at the meter's pace, one per 0.5 s tick: a quiet start, a burst, a long job.
readings=(2 3 2 5 4 8 3 2 12 35 60 82 95 100 88 64 40 22 12 8 5 4 6 9 15 28 45 58 66 71 74 72 76 79 75 70
          73 77 80 78 74 52 30 18 11 7 5 3)
for reading in "${readings[@]}"; do
  ask usage "$reading" >/dev/null
  sleep 0.5
done
# Hold the graph: a mistyped sample is no reading, so the ticks from now on leave it as it is.
ask usage 0 dword >/dev/null
sleep 1
tray_screenshot docs/tray.png 8 3

# The same graph on a dark notification area: a panel tinted like a dark taskbar becomes the
# notification area, the meter re-adds its icons when the shell says so (they dock into the
# panel), and a switch of the taskbar's flag turns the bars white.
trayer --edge bottom --align right --widthtype pixel --width 200 --height 24 \
       --transparent true --alpha 0 --tint 0x202020 >"$desk/trayer.log" 2>&1 &
panel=$!
for _ in $(seq 100); do xwininfo -name panel >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
ask theme 0 >/dev/null
ask taskbarcreated >/dev/null
for _ in $(seq 100); do [ "$(ask iconrects | wc -w)" -ge 3 ] && ! xwininfo -name "Wine System Tray" 2>/dev/null | grep -q IsViewable && break; sleep 0.2; done
ask settingchange >/dev/null
sleep 1
# The panel puts each new icon left of the earlier ones: its slots, right to left, are the
# meter's icons 0, 1, 2.
slots=()
for rect in $(ask iconrects); do
  IFS=, read -r left top right bottom <<<"$rect"
  slot=$(mktemp --suffix=.png)
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$slot"
  slots=("$slot" "${slots[@]}")
done
convert "${slots[@]}" +append -filter point -resize 800% docs/tray-dark.png
rm -f "${slots[@]}"
ask theme none >/dev/null
kill "$panel"
panel=

hwnd=$(ask meters)
ask post "$hwnd" 0x111 108 0 >/dev/null  # WM_COMMAND, Properties: show the dialog
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Cyclowisp$' >/dev/null && break; sleep 0.1; done
sleep 1
window_screenshot docs/dialog.png Cyclowisp

ask post "$hwnd" 0x111 106 0 >/dev/null  # WM_COMMAND, About
for _ in $(seq 100); do xdotool search --onlyvisible --name '^About Cyclowisp$' >/dev/null && break; sleep 0.1; done
sleep 1
window_screenshot docs/about.png "About Cyclowisp"
about=$(ask abouts)
ask post "$about" 0x111 1 0 >/dev/null   # WM_COMMAND, OK

ask post "$hwnd" 0x111 2 0 >/dev/null    # WM_COMMAND, Exit
wait "$meter"
meter=
echo "quit" >&"${TOOL[1]}"
wait "$tool" || true
tool=

# At 150 %: Wine restarted at 144 DPI, where the shell's slots are 28 pixels and the meter draws
# 24-pixel icons, 72 columns. Wine 8's shell copies an icon whose width is no multiple of 16 with
# the wrong row length and shows its bottom rows garbled, so this picture is not taken from its
# tray: stripview draws the three icons that the meter's own code makes of the same readings, in a
# window laid out like the tray (white, slots of 28 pixels, each icon 2 pixels in).
scripts/desktop.sh dpi "$desk" 144 >/dev/null
readings=(2 3 2 5 4 8 3 2 12 35 60 82 95 100 88 64 40 22 12 8 5 4 6 9 15 28 45 58 66 71 74 72 76 79 75 70
          73 77 80 78 74 52 30 18 11 7 5 3 4 6 5 9 14 22 35 51 66 78 86 91 93 90 84 72 58 43 30 19 11
          7 5 4)
wine "$build/tests/tools/stripview.exe" 100 100 "${readings[@]}" &
view=$!
for _ in $(seq 300); do xwininfo -name "Cyclowisp icons" 2>/dev/null | grep -q IsViewable && break; sleep 0.1; done
sleep 1
import -window root -crop "$((3 * 28))x28+100+100" +repage -filter point -resize 800% docs/tray-150.png
kill "$view"
wait "$view" 2>/dev/null || true
echo "Made docs/tray.png, docs/tray-dark.png, docs/dialog.png, docs/about.png and docs/tray-150.png"
