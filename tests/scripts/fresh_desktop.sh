#!/usr/bin/env bash
# A desktop started in a new folder, as on a fresh machine: its new Wine prefix has no LogPixels
# of the user's yet, and `desktop.sh dpi DIR` must still report the DPI Wine uses there, 96 (the
# tick benchmark's first step). Stops the desktop and removes the folder (a prefix is over a
# gigabyte) whatever happens.
#   fresh_desktop.sh DIR
set -uo pipefail
desktop=$(dirname "$0")/../../scripts/desktop.sh
dir=${1:?usage: fresh_desktop.sh DIR}

rm -rf "$dir"
trap '"$desktop" stop "$dir"; rm -rf "$dir"' EXIT
"$desktop" start "$dir" >/dev/null || { echo "FAIL: the desktop did not start"; exit 1; }

# shellcheck disable=SC1091
. "$dir/desktop.env"
# Without this the query below would not be the one a fresh machine makes. (Wine's 64-bit loader
# runs reg directly; the 32-bit one would start it under an emulator here.)
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if "$wine" reg query 'HKCU\Control Panel\Desktop' /v LogPixels >/dev/null 2>&1; then
  echo "FAIL: the new prefix already holds a LogPixels of the user's, so this test cannot test what it is for"
  exit 1
fi

got=$("$desktop" dpi "$dir")
status=$?
if [ "$status" -ne 0 ] || [ "$got" != 96 ]; then
  echo "FAIL: desktop.sh dpi on a new prefix: exit status $status, printed '$got'; want status 0 and 96"
  exit 1
fi
echo "desktop.sh dpi on a new prefix: 96"
