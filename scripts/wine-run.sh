#!/usr/bin/env bash
# Runs a Windows program under Wine on the private desktop that desktop.sh started, never on the
# user's own display or Wine prefix. The desktop's folder comes from CYCLOWISP_DESKTOP.
set -eu
dir=${CYCLOWISP_DESKTOP:?CYCLOWISP_DESKTOP is not set: start a desktop with scripts/desktop.sh}
[ -f "$dir/desktop.env" ] || { echo "no desktop running in $dir" >&2; exit 1; }
# shellcheck disable=SC1091
. "$dir/desktop.env"
exec wine "$@"
