#!/usr/bin/env bash
# Starts or stops a private desktop for the Windows side: a virtual X display (Xvfb), a small
# window manager (openbox) on it, and a persistent wineserver for a Wine prefix of its own.
#   desktop.sh start DIR      writes DIR/desktop.env, which wine-run.sh and the tests source
#   desktop.sh stop DIR       ends everything that start left running
#   desktop.sh dpi DIR [DPI]  prints the prefix's display scaling in dots per inch, or sets it and
#                             restarts Wine so that every process, the shell included, uses it
# DIR holds the prefix (DIR/wineprefix), so it survives between runs and is created only once.
set -euo pipefail
[ -n "${DESKTOP_TRACE:-}" ] && set -x

cmd=${1:?usage: desktop.sh start|stop|dpi DIR [DPI]}
dir=$(mkdir -p "${2:?usage: desktop.sh start|stop|dpi DIR [DPI]}" && cd "$2" && pwd)
env_file=$dir/desktop.env

stop() {
  if [ -f "$env_file" ]; then
    # shellcheck disable=SC1090
    . "$env_file"
    wineserver -k 2>/dev/null || true
    for pid in ${WM_PID:-} ${XVFB_PID:-}; do kill "$pid" 2>/dev/null || true; done
    for pid in ${WM_PID:-} ${XVFB_PID:-}; do
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    done
    rm -f "$env_file"
  fi
}

start() {
  stop
  rm -f "$dir/display" "$dir/openbox.log"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  local xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { echo "Xvfb did not start; see $dir/xvfb.log" >&2; exit 1; }
  local display=":$(head -n1 "$dir/display")"

  # Without a window manager Wine waits seconds inside every hide (the notification area's own
  # window too, whenever its last icon goes), so a manager that did not come up is started again
  # (seen: openbox failing to open a display that Xvfb had just announced), and none is an error.
  local wm_pid='' managed=''
  for _ in 1 2 3; do
    DISPLAY=$display openbox --sm-disable >>"$dir/openbox.log" 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
      DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && managed=1 && break
      kill -0 "$wm_pid" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$managed" ] && break
    kill "$wm_pid" 2>/dev/null || true
    sleep 0.5
  done
  [ -n "$managed" ] || { kill "$xvfb_pid"; echo "openbox did not start; see $dir/openbox.log" >&2; exit 1; }

  cat >"$env_file" <<ENV
export DISPLAY=$display
export WINEPREFIX=$dir/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d'
# Only read where Wine's 32-bit loader runs under qemu's i386 emulator: a guest address space just
# above 2 GiB puts the emulated stack where Wine's start-up reserves little, which makes a start
# take seconds instead of a minute.
export QEMU_RESERVED_VA=0x80400000
XVFB_PID=$xvfb_pid
WM_PID=$wm_pid
ENV
  # shellcheck disable=SC1090
  . "$env_file"
  # A persistent server saves every test program the server's start and the prefix's boot. The
  # server refuses to start in a prefix folder that does not exist yet; wineboot fills it.
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >"$dir/wineserver.log" 2>&1
  # Tests run at 96 DPI, whatever DPI a run that was killed midway (scripts/at-dpi.sh) left behind.
  if [ -f "$WINEPREFIX/user.reg" ] && [ "$(dpi)" != 96 ]; then
    wine_builtin reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
  fi
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  # Debian's Wine does not load the fonts of fonts-wine from where that package puts them; a
  # prefix sees them in its own Fonts folder. Without them dialogs are measured in a stand-in
  # font, not in Wine's "MS Sans Serif", whose metrics match Windows'.
  if [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  echo "desktop ready on $DISPLAY, prefix $WINEPREFIX"
}

# Runs a 64-bit program of Wine's own. Where a 32-bit loader exists, `wine` starts it first (under
# qemu's emulator, seconds) only to hand over to the 64-bit one; the 64-bit loader directly takes
# a fraction of a second.
wine_builtin() {
  if [ -x /usr/lib/wine/wine64 ]; then /usr/lib/wine/wine64 "$@"; else wine "$@"; fi
}

# The ids of the prefix's Wine processes: programs of Wine's loaders (or of qemu's i386 emulator,
# which runs the 32-bit one) and its server, whose environment names this WINEPREFIX. (Scripts
# that sourced desktop.env name it too, this one included.)
prefix_pids() {
  local proc
  for proc in /proc/[0-9]*; do
    case $(readlink "$proc/exe" 2>/dev/null) in
      */wine*|*/qemu-i386*) ;;
      *) continue ;;
    esac
    tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && basename "$proc"
  done
  return 0
}

# The REG_DWORD LogPixels under KEY as reg prints it (hexadecimal, 0x78), or nothing when the key
# or the value is missing: reg then fails, which is an answer here, not an error.
logpixels() {
  local out
  out=$(wine_builtin reg query "$1" /v LogPixels 2>/dev/null) || return 0
  printf '%s\n' "$out" | tr -d '\r' | awk '$1 == "LogPixels" && $2 == "REG_DWORD" { print $3 }'
}

# Wine reads the DPI from HKCU\Control Panel\Desktop\LogPixels once per process, the shell
# (explorer.exe) included, so a change needs every process ended: the server and all its
# processes, the shell and its tray window, go, and the next program starts them afresh.
dpi() {
  # shellcheck disable=SC1090
  . "$env_file"
  local key='HKCU\Control Panel\Desktop' value=${1:-}
  if [ -z "$value" ]; then
    # Where the user has none (a new prefix), Wine takes the machine's, which its setup writes
    # as 96, and 96 where that is missing too.
    local stored
    stored=$(logpixels "$key")
    [ -n "$stored" ] || stored=$(logpixels 'HKCC\Software\Fonts')
    echo $((${stored:-96}))
    return 0
  fi
  case $value in *[!0-9]*) echo "not a DPI: $value" >&2; exit 2 ;; esac
  wine_builtin reg add "$key" /v LogPixels /t REG_DWORD /d "$value" /f >/dev/null
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # The server is gone before every process it served has exited; a shell of the old DPI must
  # not outlive it (its windows would stay on the display). Under an emulator a killed client can
  # take a while to go; one still there after 20 s (seen after an interrupted run) is killed.
  local left
  for attempt in 1 2; do
    for _ in $(seq 200); do
      left=$(prefix_pids)
      [ -z "$left" ] && break 2
      sleep 0.1
    done
    if [ "$attempt" = 1 ]; then
      echo "killing processes left over in the prefix: ${left//$'\n'/ }" >&2
      # shellcheck disable=SC2086  # one pid a line
      kill -9 $left 2>/dev/null || true
    fi
  done
  [ -z "$left" ] || { echo "processes of the prefix still running: $left" >&2; exit 1; }
  wineserver -p </dev/null >>"$dir/wineserver.log" 2>&1
  local now
  now=$(dpi)
  [ "$now" = "$value" ] || { echo "LogPixels reads $now after setting $value" >&2; exit 1; }
}

case $cmd in
  start) start ;;
  stop) stop ;;
  dpi) [ -f "$env_file" ] || { echo "no desktop running in $dir" >&2; exit 1; }; dpi "${3:-}" ;;
  *) echo "usage: desktop.sh start|stop|dpi DIR [DPI]" >&2; exit 2 ;;
esac
