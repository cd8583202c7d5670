#!/usr/bin/env bash
# Starts or stops a private desktop for the Windows side: a virtual X display (Xvfb), a small
# window manager (openbox) on it, and a persistent wineserver for a Wine prefix of its own.
#   desktop.sh start DIR   writes DIR/desktop.env, which wine-run.sh and the tests source
#   desktop.sh stop DIR    ends everything that start left running
# DIR holds the prefix (DIR/wineprefix), so it survives between runs and is created only once.
set -euo pipefail
[ -n "${DESKTOP_TRACE:-}" ] && set -x

cmd=${1:?usage: desktop.sh start|stop DIR}
dir=$(mkdir -p "${2:?usage: desktop.sh start|stop DIR}" && cd "$2" && pwd)
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
  rm -f "$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  local xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { echo "Xvfb did not start; see $dir/xvfb.log" >&2; exit 1; }
  local display=":$(head -n1 "$dir/display")"

  DISPLAY=$display openbox --sm-disable >"$dir/openbox.log" 2>&1 &
  local wm_pid=$!
  for _ in $(seq 100); do
    DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done

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
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  echo "desktop ready on $DISPLAY, prefix $WINEPREFIX"
}

case $cmd in
  start) start ;;
  stop) stop ;;
  *) echo "usage: desktop.sh start|stop DIR" >&2; exit 2 ;;
esac
