#!/usr/bin/env bash
# A private X server with a window manager that hosts tray icons (icewm) and a session bus, every process stopped
# by its PID: the one X session of scripts/run, the install test, the benchmarks and the tests.
#   xsession.sh start DIR       starts it, records its display and PIDs in DIR, returns once both answer
#   xsession.sh run DIR CMD...  runs CMD there, as a new user would: private home, XDG folders, runtime folder
#   xsession.sh stop DIR        stops it and removes DIR
#   xsession.sh windows KIND    the app's visible windows on $DISPLAY of one kind: managed by the window
#                               manager (notices, windows), icon (in the tray) or popup (menus)
# Sourced, it also gives a script start_xsession / stop_xsession (a session in a folder of its
# own, the script's HOME and runtime folder made private to it) and wait_for_tray_icon.
# shellcheck shell=bash

xsession_start() {
  local dir=$1 i
  rm -rf "$dir" && mkdir -p "$dir"
  # Xvfb picks a free display itself and writes its number to fd 3: no race with a server
  # starting at the same time. Detached from the caller's pipes, or a caller that reads them
  # (CTest) would wait for the server to end.
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 3>"$dir/number" &
  echo $! >"$dir/pids"
  for i in $(seq 1 200); do
    [ -s "$dir/number" ] && DISPLAY=":$(tr -d '[:space:]' <"$dir/number")" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
  done
  echo ":$(tr -d '[:space:]' <"$dir/number" 2>/dev/null)" >"$dir/display"
  DISPLAY=$(cat "$dir/display") setsid icewm </dev/null >/dev/null 2>&1 &
  echo $! >>"$dir/pids"
  # A session bus, as a desktop session has: without one, the first program to want it has
  # libdbus start one for the display, which outlives the session.
  setsid dbus-daemon --session --nofork --address="unix:path=$dir/bus" </dev/null >/dev/null 2>&1 &
  echo $! >>"$dir/pids"
  echo "unix:path=$dir/bus" >"$dir/bus-address"
  # Up once the window manager's tray is there to take icons, and the bus listens.
  for i in $(seq 1 200); do
    [ -S "$dir/bus" ] && DISPLAY=$(cat "$dir/display") xdotool search --name '^SystemTray$' >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "the X session did not start" >&2
  return 1
}

xsession_stop() {
  local dir=$1 pid
  [ -f "$dir/pids" ] || return 0
  for pid in $(cat "$dir/pids"); do kill "$pid" 2>/dev/null || true; done
  for pid in $(cat "$dir/pids"); do
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  done
  rm -rf "$dir"
}

xsession_run() {
  local dir=$1
  shift
  local home
  home=$(mktemp -d "$dir/home.XXXXXX")
  mkdir -p "$home/.config" "$home/.local/share" "$home/.cache" "$home/runtime"
  chmod 700 "$home/runtime"
  # Nothing of the caller's session reaches the program, but what the test runner tells it
  # does: the sanitizers' options (their leak suppressions) and gtest's.
  local keep=() name
  for name in $(compgen -e | grep -E '^((A|UB|L)SAN_OPTIONS|GTEST_[A-Z_]+)$'); do keep+=("$name=${!name}"); done
  exec env -i "${keep[@]}" PATH="$PATH" LANG=C.UTF-8 DISPLAY="$(cat "$dir/display")" QT_QPA_PLATFORM=xcb HOME="$home" \
    DBUS_SESSION_BUS_ADDRESS="$(cat "$dir/bus-address")" \
    XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" "$@"
}

# For scripts that source this file: one session at a time, in a folder of its own.
start_xsession() {
  XS_ROOT=$(mktemp -d /tmp/quillberry-session.XXXXXX)
  xsession_start "$XS_ROOT/x" || return 1
  mkdir -p "$XS_ROOT/runtime" "$XS_ROOT/home"
  chmod 700 "$XS_ROOT/runtime"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XDG_SESSION_TYPE
  export DISPLAY XDG_RUNTIME_DIR="$XS_ROOT/runtime" HOME="$XS_ROOT/home" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS
  DISPLAY=$(cat "$XS_ROOT/x/display") DBUS_SESSION_BUS_ADDRESS=$(cat "$XS_ROOT/x/bus-address")
}

stop_xsession() {
  [ -n "${XS_ROOT:-}" ] && xsession_stop "$XS_ROOT/x" && rm -rf "$XS_ROOT"
  XS_ROOT=""
  return 0  # callers run under `set -e`, often from an EXIT trap
}

app_windows() {
  local w kind
  for w in $(xdotool search --onlyvisible --classname '^quillberry$' 2>/dev/null); do
    if xprop -id "$w" WM_STATE 2>/dev/null | grep -q 'WM_STATE(WM_STATE)'; then kind=managed
    elif xwininfo -id "$w" -tree 2>/dev/null | grep -q 'Parent window id: .* (the root window)'; then kind=popup
    else kind=icon; fi
    [ "$kind" = "$1" ] && echo "$w"
  done
  return 0
}

tray_icon_window() { app_windows icon | head -n 1; }

wait_for_tray_icon() {
  local i
  for i in $(seq 1 "${1:-100}"); do
    [ -n "$(tray_icon_window)" ] && return 0
    sleep 0.05
  done
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    start) xsession_start "$2" ;;
    stop) xsession_stop "$2" ;;
    run) xsession_run "${@:2}" ;;
    windows) app_windows "$2" ;;
    *) echo "usage: xsession.sh start|run|stop DIR [CMD...] | windows KIND" >&2; exit 2 ;;
  esac
fi
