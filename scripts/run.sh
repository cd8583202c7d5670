#!/usr/bin/env bash
# Builds cyclowis.exe and runs it under Wine. On a desktop (DISPLAY reachable) it runs on the
# user's display until its Exit command. Without one it starts a private virtual desktop, lets the
# meter run for a few seconds, saves an enlarged screenshot of the notification area, prints its
# path, and ends the meter through its own popup menu's Exit item.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target cyclowis
exe=$top/build/windows/cyclowis.exe

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  # Read only where Wine's 32-bit loader runs under qemu's i386 emulator (see desktop.sh).
  export QEMU_RESERVED_VA=0x80400000
  exec wine "$exe"
fi

desk=$top/build/windows/run-desktop
scripts/desktop.sh start "$desk" >/dev/null
trap 'scripts/desktop.sh stop "$desk"' EXIT
# shellcheck disable=SC1091
. "$desk/desktop.env"
. scripts/tray.sh

wine "$exe" &
meter=$!
tray_wait_icons 3 || { echo "the meter's icons did not appear" >&2; exit 1; }
sleep "${RUN_SECONDS:-6}"

shot=$top/build/windows/tray.png
tray_screenshot "$shot" 8
echo "Notification area after ${RUN_SECONDS:-6} s, enlarged 8x: $shot"

tray_menu_command 0 x   # right button on icon 0, then the Exit item's mnemonic
wait "$meter"
echo "cyclowis.exe ended with exit code $?"
