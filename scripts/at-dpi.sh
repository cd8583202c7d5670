#!/usr/bin/env bash
# Runs a command with the private desktop at another display scaling: Wine's LogPixels set to DPI
# (96 is 100 %, 120 is 125 %, 144 is 150 %, 192 is 200 %) and Wine restarted, so that every
# process, the shell and its notification area included, starts afresh at that DPI. Afterwards,
# whatever the command did or however it ended, the desktop is set back to 96 and restarted once
# more. The command learns the DPI from CYCLOWISP_DPI; its exit status is returned.
#   CYCLOWISP_DESKTOP=DIR at-dpi.sh DPI COMMAND [ARGS...]
set -u
dir=${CYCLOWISP_DESKTOP:?CYCLOWISP_DESKTOP is not set: start a desktop with scripts/desktop.sh}
dpi=${1:?usage: at-dpi.sh DPI COMMAND [ARGS...]}
shift
[ $# -gt 0 ] || { echo "usage: at-dpi.sh DPI COMMAND [ARGS...]" >&2; exit 2; }
desktop=$(dirname "$0")/desktop.sh

child=
back_to_96() {
  trap - EXIT INT TERM
  [ -n "$child" ] && kill "$child" 2>/dev/null && wait "$child" 2>/dev/null
  "$desktop" dpi "$dir" 96 || { echo "could not set the desktop back to 96 DPI" >&2; return 1; }
}
trap 'back_to_96; exit 1' EXIT
trap 'back_to_96; exit 143' INT TERM

"$desktop" dpi "$dir" "$dpi" || exit 1
# In the background, so that a signal to this script is handled at once, not when the command ends.
CYCLOWISP_DPI=$dpi "$@" &
child=$!
wait "$child"
status=$?
child=
back_to_96 || [ "$status" -ne 0 ] || status=1
exit "$status"
