# Sourced by scripts/run, scripts/test and the e2e suite: a private X server with a tray
# host, its own runtime directory and its own home, all stopped by PID.
# shellcheck shell=bash

XS_PIDS=()

# start_xsession [with-tray=1]: sets DISPLAY, XDG_RUNTIME_DIR and HOME to private ones.
start_xsession() {
  local with_tray=${1:-1} i
  XS_ROOT=$(mktemp -d /tmp/quillberry-session.XXXXXX)
  # Xvfb picks a free display itself and writes its number to fd 3.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 3>"$XS_ROOT/display" &
  XS_PIDS+=($!)
  for i in $(seq 1 100); do
    [ -s "$XS_ROOT/display" ] && export DISPLAY=":$(tr -d '[:space:]' < "$XS_ROOT/display")" &&
      xdpyinfo >/dev/null 2>&1 && break
    sleep 0.05
  done
  mkdir -p "$XS_ROOT/runtime" "$XS_ROOT/home"
  chmod 700 "$XS_ROOT/runtime"
  export XDG_RUNTIME_DIR="$XS_ROOT/runtime" HOME="$XS_ROOT/home"
  unset XDG_CONFIG_HOME DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XDG_SESSION_TYPE
  [ "$with_tray" = 1 ] && start_tray
  return 0
}

start_tray() {
  trayer --edge top --align right --widthtype request --height 24 --transparent false \
    --tint 0x303030 --SetDockType true --expand false >/dev/null 2>&1 &
  XS_TRAY_PID=$!
  XS_PIDS+=($XS_TRAY_PID)
  local i
  for i in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"panel"' && return 0
    sleep 0.05
  done
}

# Window id of the tray icon embedded in the panel, or nothing.
tray_icon_window() {
  xwininfo -root -tree 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/{p=1; next} p && /"Quillberry": \("quillberry"/{print $1; exit}'
}

wait_for_tray_icon() {
  local i
  for i in $(seq 1 ${1:-100}); do
    [ -n "$(tray_icon_window)" ] && return 0
    sleep 0.05
  done
  return 1
}

stop_xsession() {
  local pid
  for pid in "${XS_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${XS_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  XS_PIDS=()
  if [ -n "${XS_ROOT:-}" ]; then rm -rf "$XS_ROOT"; fi
  return 0  # callers run under `set -e`, often from an EXIT trap
}
