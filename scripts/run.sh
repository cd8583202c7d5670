#!/usr/bin/env bash
# Builds cyclowis.exe and runs it under Wine. On a desktop (DISPLAY reachable) it runs on the
# user's display until its Exit command. Without one it starts a private virtual desktop, lets the
# meter run for a few seconds, saves an enlarged screenshot of the notification area, prints its
# path, and ends the meter through its own popup menu's Exit item.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target cyclowis traytool
exe=$top/build/windows/cyclowis.exe

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  # Read only where Wine's 32-bit loader runs under qemu's i386 emulator (see desktop.sh).
  export QEMU_RESERVED_VA=0x80400000
  # A new prefix would otherwise offer to download .NET and HTML engines the meter never uses.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
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
tray_screenshot "$shot" 8 3
echo "Notification area after ${RUN_SECONDS:-6} s, enlarged 8x: $shot"

tray_menu_command 0 2   # right button on icon 0, then a click on the Exit item
for _ in $(seq 300); do kill -0 "$meter" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$meter" 2>/dev/null; then
  echo "the meter did not end through its Exit command" >&2
  kill "$meter"
  exit 1
fi
code=0
wait "$meter" || code=$?
echo "cyclowis.exe ended with exit code $code"
