#!/usr/bin/env bash
# Runs a command with the private desktop's Wine reporting another Windows version to every
# program that starts meanwhile (HKEY_CURRENT_USER\Software\Wine, value Version: win10 is
# 10.0.18362, win81, win8, win7, vista, winxp, ...). Wine's own default again afterwards,
# whatever the command did; its exit status is returned.
#   CYCLOWISP_DESKTOP=DIR as-windows.sh VERSION COMMAND [ARGS...]
set -u
dir=${CYCLOWISP_DESKTOP:?CYCLOWISP_DESKTOP is not set: start a desktop with scripts/desktop.sh}
version=${1:?usage: as-windows.sh VERSION COMMAND [ARGS...]}
shift
[ $# -gt 0 ] || { echo "usage: as-windows.sh VERSION COMMAND [ARGS...]" >&2; exit 2; }
# shellcheck disable=SC1091
. "$dir/desktop.env"
# Wine's own reg, 64-bit where there is one: the 32-bit loader would start under an emulator.
reg() { if [ -x /usr/lib/wine/wine64 ]; then /usr/lib/wine/wine64 reg "$@"; else wine reg "$@"; fi; }

child=
back() {
  trap - EXIT INT TERM
  [ -n "$child" ] && kill "$child" 2>/dev/null && wait "$child" 2>/dev/null
  reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
}
trap 'back; exit 1' EXIT
trap 'back; exit 143' INT TERM

reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$version" /f >/dev/null || exit 1
"$@" &
child=$!
wait "$child"
status=$?
child=
back
exit "$status"
