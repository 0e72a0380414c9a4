#!/usr/bin/env bash
# End-to-end tests of the built app in a private X server with a tray host, a real
# clipboard, real key presses and a local service on the app's compiled-in address.
# Usage: tests/e2e/run-e2e.sh BUILD_DIR [SHOTS_DIR]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?build dir}" && pwd)
shots=${2:-$root/build/e2e-shots}
mkdir -p "$shots"
APP="$build/quillberry"
STUB="$build/tests/stub_service"
PORT=8787
BUNDLE=app.quillberry.desktop
# shellcheck source=../../scripts/lib/xsession.sh
source "$root/scripts/lib/xsession.sh"
export no_proxy=127.0.0.1,localhost

passed=0 failed=0
APP_PID="" STUB_PID="" RECORD=""

check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok   - $name"
  else
    failed=$((failed + 1)); echo "FAIL - $name"
    import -window root "$shots/FAIL-${name// /_}.png" 2>/dev/null
  fi
}

settings() { echo "$HOME/.config/quillberry/$BUNDLE.ini"; }
write_settings() {  # write_settings [email]
  mkdir -p "$(dirname "$(settings)")"
  { echo "[General]"; echo "quillberry_onboarding_done=true"; [ -n "${1:-}" ] && echo "verbalift_email=$1"; } > "$(settings)"
}
alive() { [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; }
start_app() { "$APP" >"$XS_ROOT/app.out" 2>&1 & APP_PID=$!; }
stop_app() {
  if alive; then kill "$APP_PID"; wait "$APP_PID" 2>/dev/null; fi
  APP_PID=""
}
start_stub() {  # start_stub MODE
  RECORD="$XS_ROOT/requests.$1.log"; : > "$RECORD"
  "$STUB" "$PORT" "$RECORD" "$1" & STUB_PID=$!
  local i; for i in $(seq 1 100); do
    (exec 3<>/dev/tcp/127.0.0.1/$PORT) 2>/dev/null && return 0; sleep 0.05
  done
}
stop_stub() { [ -n "$STUB_PID" ] && kill "$STUB_PID" 2>/dev/null && wait "$STUB_PID" 2>/dev/null; STUB_PID=""; }
requests() { [ -f "$RECORD" ] && grep -c . "$RECORD" || echo 0; }

# Windows of ours that are on screen, by exact name: alerts are "Quillberry".
wait_window() {  # wait_window NAME [tries] -> prints the id
  local i w; for i in $(seq 1 ${2:-100}); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }; sleep 0.05
  done; return 1
}
has_window() { wait_window "$1" "${2:-100}" >/dev/null; }
no_window() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
answer() {  # answer WINDOW KEYS...: focus (there is no window manager) and type
  local w=$1; shift
  xdotool windowfocus --sync "$w" 2>/dev/null; xdotool key --delay 30 "$@"
}
clip() { timeout 3 xclip -selection clipboard -o 2>/dev/null; }
set_clip() { printf '%s' "$1" | xclip -selection clipboard -i 2>/dev/null; sleep 0.1; }
wait_until() {  # wait_until TRIES COMMAND...
  local tries=$1 i; shift
  for i in $(seq 1 "$tries"); do "$@" && return 0; sleep 0.05; done; return 1
}
icons() { xwininfo -root -tree | grep -c '"Quillberry": ("quillberry"' ; }
open_menu() {
  local icon; icon=$(tray_icon_window)
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  xdotool mousemove $((X + 8)) $((Y + 8)) click 1
  wait_until 60 sh -c "xwininfo -root -tree | grep -q 'quillberry-status-menu\|\"Quillberry\": (\"quillberry\" \"Quillberry\")  [0-9]*x[0-9]*+[0-9]*+[0-9]*  +[0-9]*+[2-9][0-9]'"
  sleep 0.3
}

# ------------------------------------------------------------------ the shell
case_launch_and_single_instance() {
  start_app
  check "launch embeds the tray icon" wait_for_tray_icon 200
  check "a first run opens the onboarding" has_window " "
  import -window root "$shots/01-first-launch.png"
  local out; out=$(timeout 10 "$APP" 2>&1); local status=$?
  check "a second start exits 0" test "$status" = 0
  check "a second start says nothing" test -z "$out"
  check "one icon stays" test "$(icons)" = 1
  check "the first instance keeps running" alive
  kill -9 "$APP_PID"; wait "$APP_PID" 2>/dev/null; APP_PID=""
  start_app
  check "after kill -9 the next start works" wait_for_tray_icon 200
  stop_app
}

case_simultaneous_starts() {
  write_settings
  local pids=() i survivors=0
  for i in 1 2 3 4 5; do "$APP" >/dev/null 2>&1 & pids+=($!); done
  sleep 2
  for i in "${pids[@]}"; do kill -0 "$i" 2>/dev/null && survivors=$((survivors + 1)); done
  check "of five simultaneous starts exactly one survives" test "$survivors" = 1
  check "and shows exactly one icon" test "$(icons)" = 1
  for i in "${pids[@]}"; do kill "$i" 2>/dev/null; wait "$i" 2>/dev/null; done
}

case_menu_and_quit() {
  write_settings
  start_app; wait_for_tray_icon 200
  open_menu
  import -window root "$shots/02-status-menu.png"
  xdotool key Up Return  # the last item, "Quitter"
  wait_until 60 sh -c "! kill -0 $APP_PID 2>/dev/null"
  check "choosing Quitter ends the app" test "$(alive && echo up || echo down)" = down
  wait "$APP_PID" 2>/dev/null; check "and it exits 0" test "$?" = 0; APP_PID=""
  start_app; wait_for_tray_icon 200; open_menu; xdotool key ctrl+q
  check "Ctrl+Q in the open menu ends the app" wait_until 60 sh -c "! kill -0 $APP_PID 2>/dev/null"
  APP_PID=""
}

case_corrupt_settings_and_late_tray() {
  mkdir -p "$(dirname "$(settings)")"; printf '[General\n\x01\x02\xff garbage=\n' > "$(settings)"
  kill "$XS_TRAY_PID"; wait "$XS_TRAY_PID" 2>/dev/null
  start_app; sleep 1
  check "without a tray host the app keeps running" alive
  start_tray
  check "and embeds its icon when a tray appears" wait_for_tray_icon 200
  check "a corrupt settings file reads as a first run" has_window " "
  stop_app
}

# ------------------------------------------------------------------ the main job
case_copy_press_paste() {
  write_settings "me@example.com"; start_stub echo; start_app; wait_for_tray_icon 200
  set_clip "  Écris un poème  "
  xdotool key ctrl+u
  local w; w=$(wait_window Quillberry 100)
  check "the success notice appears" test -n "$w"
  import -window root "$shots/03-success-notice.png"
  check "the service got exactly the prompt and the e-mail" \
    test "$(head -n 1 "$RECORD")" = '{"email":"me@example.com","prompt":"  Écris un poème  "}'
  check "the clipboard holds the improved prompt" test "$(clip)" = "Amélioré :   Écris un poème  "
  answer "$w" Return
  check "Return closes the notice" wait_until 60 no_window Quillberry
  check "the clipboard still holds the improved prompt" test "$(clip)" = "Amélioré :   Écris un poème  "
  numlockx_on
  set_clip "second"; xdotool key ctrl+u
  w=$(wait_window Quillberry 100)
  check "with NumLock on the hotkey still works" test "$(requests)" = 2
  answer "$w" Return; wait_until 60 no_window Quillberry
  numlockx_off
  check "the app keeps running" alive
  stop_app; stop_stub
}
numlockx_on() { xdotool key Num_Lock; }
numlockx_off() { xdotool key Num_Lock; }

case_busy_press_is_ignored() {
  write_settings "me@example.com"; start_stub stall; start_app; wait_for_tray_icon 200
  set_clip "stalled"
  xdotool key ctrl+u; wait_until 60 test "$(requests)" = 1
  xdotool key ctrl+u; sleep 1
  check "a press while a request is stalled sends nothing" test "$(requests)" = 1
  check "and shows nothing" no_window Quillberry
  stop_stub
  local w; w=$(wait_window Quillberry 200)
  check "the stalled run ends with the failure notice" test -n "$w"
  answer "$w" Return; wait_until 60 no_window Quillberry
  check "the app keeps running" alive
  stop_app
  # Quitting with a request in flight ends at once and cleanly.
  start_stub stall; start_app; wait_for_tray_icon 200
  xdotool key ctrl+u; wait_until 60 test "$(requests)" = 1
  kill -TERM "$APP_PID"
  check "SIGTERM with a request in flight ends the app promptly" wait_until 40 sh -c "! kill -0 $APP_PID 2>/dev/null"
  wait "$APP_PID" 2>/dev/null; check "and it exits 0" test "$?" = 0; APP_PID=""
  stop_stub
}

case_missing_email() {
  write_settings; start_stub echo; start_app; wait_for_tray_icon 200
  set_clip "texte"
  xdotool key ctrl+u
  local w; w=$(wait_window Quillberry 100)
  import -window root "$shots/04-email-prompt.png"
  answer "$w" space m e at e x a m p l e period o r g Return
  w=$(wait_window Quillberry 100)
  check "an entered address completes the job without a second press" \
    test "$(head -n 1 "$RECORD")" = '{"email":"me@example.org","prompt":"texte"}'
  check "and is stored" grep -q '^verbalift_email=me@example.org$' "$(settings)"
  answer "$w" Return; wait_until 60 no_window Quillberry
  stop_app
  start_app; wait_for_tray_icon 200; set_clip "encore"; xdotool key ctrl+u
  w=$(wait_window Quillberry 100)
  check "the next run reads the stored address" test "$(tail -n 1 "$RECORD")" = '{"email":"me@example.org","prompt":"encore"}'
  answer "$w" Return; wait_until 60 no_window Quillberry
  stop_app; stop_stub
}

case_service_down() {
  write_settings "me@example.com"; start_app; wait_for_tray_icon 200
  set_clip "garde-moi"
  xdotool key ctrl+u
  local w; w=$(wait_window Quillberry 100)
  check "a dead service gives the failure notice" test -n "$w"
  import -window root "$shots/05-failure-notice.png"
  check "the clipboard is unchanged" test "$(clip)" = "garde-moi"
  answer "$w" Return; wait_until 60 no_window Quillberry
  check "the app keeps running" alive
  stop_app
}

case_reference_service() {
  write_settings "me@example.com"
  "$build/server/quillberry-service" --port "$PORT" 2>/dev/null & STUB_PID=$!
  wait_until 100 sh -c "(exec 3<>/dev/tcp/127.0.0.1/$PORT) 2>/dev/null"
  start_app; wait_for_tray_icon 200
  set_clip "écris un mail pour décaler la réunion de lundi"
  xdotool key ctrl+u
  local w; w=$(wait_window Quillberry 200)
  local out; out=$(clip)
  check "the reference service's improved prompt reaches the clipboard" \
    grep -q "écris un mail pour décaler la réunion de lundi" <<<"$out"
  check "and it carries the added structure" grep -q "^Format attendu :" <<<"$out"
  answer "$w" Return; wait_until 60 no_window Quillberry
  stop_app; stop_stub
}

# ------------------------------------------------------------------ onboarding
case_onboarding_walk() {
  rm -f "$(settings)"
  start_app; wait_for_tray_icon 200
  local w; w=$(wait_window " " 100)
  xdotool windowfocus --sync "$w"
  local geo; eval "$(xdotool getwindowgeometry --shell "$w")"
  click_at() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }
  import -window root "$shots/06-onboarding-page0.png"
  click_at 240 328                          # "Suivant" (button at y 70..114 from the bottom)
  import -window root "$shots/07-onboarding-page1.png"
  click_at 240 244; xdotool type --delay 20 "  walk@example.com "   # the e-mail field
  click_at 240 328                          # "Continuer"
  import -window root "$shots/08-onboarding-page2.png"
  check "the typed e-mail is stored when page 1 is left" grep -q '^verbalift_email=walk@example.com$' "$(settings)"
  click_at 240 328                          # "Commencer"
  check "the last page closes the window" wait_until 60 no_window " "
  check "and marks the onboarding done" grep -q '^quillberry_onboarding_done=true$' "$(settings)"
  stop_app
  start_app; wait_for_tray_icon 200; sleep 1
  check "the next launch shows no window" no_window " "
  open_menu; xdotool key Down Down Down Return   # "Mode d'emploi"
  check "Mode d'emploi shows the onboarding again" has_window " "
  stop_app
}

cases=(case_launch_and_single_instance case_simultaneous_starts case_menu_and_quit
       case_corrupt_settings_and_late_tray case_copy_press_paste case_busy_press_is_ignored
       case_missing_email case_service_down case_reference_service case_onboarding_walk)
for c in "${cases[@]}"; do
  [ -n "${E2E_ONLY:-}" ] && [[ "$c" != *"$E2E_ONLY"* ]] && continue
  echo "# $c"
  start_xsession
  "$c"
  stop_app; stop_stub
  stop_xsession
done
echo "e2e: $passed passed, $failed failed"
[ "$failed" = 0 ]
